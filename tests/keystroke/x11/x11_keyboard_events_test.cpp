#include "keystroke/x11/x11_keyboard_events.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <xcb/xinput.h>

#include <sstream>

#include "support/x11_desktop.h"

// Xvfb's keyboard device has no keys to hold, and XTest lets go of every key XTest
// pressed. A key held on a real keyboard is what XTest cannot let go of: this program's
// view of the server shows the keys in `physicallyHeld` down on every device asked for its
// key state (only real keyboards are asked). The test holds them through XTest as well, so
// that the core keyboard has them down. And every X.Org server has XInput built in (Xvfb
// says it "can not be disabled"): `hideXInput` makes the server look as if it had none.
namespace {
corvane::x11::X11KeySet physicallyHeld;
bool hideXInput = false;

template <typename Function>
Function* next(const char* name) {
    return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" xcb_input_query_device_state_reply_t* xcb_input_query_device_state_reply(
    xcb_connection_t* c, xcb_input_query_device_state_cookie_t cookie, xcb_generic_error_t** e) {
    static const auto server =
        next<decltype(xcb_input_query_device_state_reply)>("xcb_input_query_device_state_reply");
    xcb_input_query_device_state_reply_t* reply = server(c, cookie, e);
    for (auto item = xcb_input_query_device_state_classes_iterator(reply);
         reply != nullptr && item.rem > 0; xcb_input_input_state_next(&item)) {
        if (item.data->class_id == XCB_INPUT_INPUT_CLASS_KEY) {
            std::uint8_t* keys = reinterpret_cast<xcb_input_key_state_t*>(item.data)->keys;
            for (std::size_t key = 0; key < physicallyHeld.size(); ++key) {
                keys[key / 8] |= static_cast<std::uint8_t>(physicallyHeld[key] << (key % 8));
            }
        }
    }
    return reply;
}

extern "C" const xcb_query_extension_reply_t* xcb_get_extension_data(xcb_connection_t* c,
                                                                     xcb_extension_t* extension) {
    static const auto server = next<decltype(xcb_get_extension_data)>("xcb_get_extension_data");
    static const xcb_query_extension_reply_t absent{};
    return hideXInput && extension == &xcb_input_id ? &absent : server(c, extension);
}

namespace corvane::testing {
namespace {

// Keycodes of an evdev keymap, and the virtual key code of A.
constexpr xcb_keycode_t controlL = 37, shiftR = 62;
constexpr std::uint16_t virtualKeyA = 0x00;

// The received keys as " +keysym/state" (in hex) for a press and " -keysym" for a release.
std::string sequence(const std::vector<RecordedKey>& keys) {
    std::ostringstream text;
    for (const RecordedKey& key : keys) {
        text << (key.press ? " +" : " -") << key.keysym;
        if (key.press) {
            text << "/" << std::hex << key.state;
        }
    }
    return text.str();
}

using X11KeyboardEventsTest = X11DesktopTest;

// Control held through XTest is let go of around the command and pressed again. Shift held
// on a keyboard as well refuses the command whole, not even Control let go of, with one
// line; unless the server has no XInput to tell the keyboards apart: then it is taken for
// one that XTest holds, as one line at start-up says.
TEST_F(X11KeyboardEventsTest, ModifiersTheUserHoldsDoNotReachTheKeysAndAreHeldAgainAfter) {
    const auto window = openWindow("org.example.other");
    const KeyCodeSequence command =
        KeyCodeSequence::multiple({KeyCodeSequence::single({virtualKeyA, EventFlags::shift}),
                                   KeyCodeSequence::single({virtualKeyA, 0})});
    userKey(XCB_KEY_PRESS, controlL);
    EXPECT_EQ(post(command), Posted::all);
    EXPECT_EQ(sequence(keysReceived(*window)),
              " +Control_L/0 -Control_L +Shift_L/0 +A/1 -A -Shift_L +a/0 -a +Control_L/0");

    userKey(XCB_KEY_PRESS, shiftR);
    physicallyHeld[shiftR] = true;
    EXPECT_EQ(post(command), Posted::none);
    EXPECT_EQ(sequence(keysReceived(*window)), " +Shift_R/4");
    EXPECT_EQ(diagnostics.str(),
              "A command was not typed: a modifier key is held down on the keyboard.\n");

    hideXInput = true;
    diagnostics.str("");
    x11::X11KeyboardEvents withoutXInput(*connection, *layouts, timer);
    hideXInput = false;
    EXPECT_EQ(diagnostics.str(),
              "The X server has no XInput 2 extension: modifier keys held down are let go of "
              "for each command and pressed again after it.\n");
    std::optional<Posted> posted;
    withoutXInput.postCommand(command, macShortcuts, [&posted](Posted p) { posted = p; });
    EXPECT_EQ(posted, Posted::all);  // nothing to wait for: over at once
    physicallyHeld.reset();
    userKey(XCB_KEY_RELEASE, shiftR);
    userKey(XCB_KEY_RELEASE, controlL);
    EXPECT_EQ(sequence(keysReceived(*window)),
              " -Control_L -Shift_R +Shift_L/0 +A/1 -A -Shift_L +a/0 -a +Control_L/0 +Shift_R/4"
              " -Shift_R -Control_L");
}

}  // namespace
}  // namespace corvane::testing
