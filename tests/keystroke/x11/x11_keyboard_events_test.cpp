#include "keystroke/x11/x11_keyboard_events.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <sstream>

#include "keystroke/event_posting.h"
#include "support/x11_desktop.h"

// Xvfb has no physical keyboard, and XTest lets go of every key XTest pressed. A key held
// on a real keyboard is what XTest cannot let go of: this program's view of the server's
// key state shows the keys in `physicallyHeld` down whatever XTest does.
namespace {
std::bitset<256> physicallyHeld;
}

extern "C" xcb_query_keymap_reply_t* xcb_query_keymap_reply(xcb_connection_t* c,
                                                            xcb_query_keymap_cookie_t cookie,
                                                            xcb_generic_error_t** e) {
    using Reply = xcb_query_keymap_reply_t* (*)(xcb_connection_t*, xcb_query_keymap_cookie_t,
                                                xcb_generic_error_t**);
    static const auto server = reinterpret_cast<Reply>(dlsym(RTLD_NEXT, "xcb_query_keymap_reply"));
    xcb_query_keymap_reply_t* reply = server(c, cookie, e);
    for (std::size_t key = 0; reply != nullptr && key < physicallyHeld.size(); ++key) {
        if (physicallyHeld[key]) {
            reply->keys[key / 8] |= static_cast<std::uint8_t>(1U << (key % 8));
        }
    }
    return reply;
}

namespace corvane::testing {
namespace {

// Keycodes of an evdev keymap, and the virtual key code of A.
constexpr xcb_keycode_t controlL = 37, capsLock = 66, keyA = 38, shiftR = 62;
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

class X11KeyboardEventsTest : public X11DesktopTest {
  protected:
    void SetUp() override {
        X11DesktopTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        window = openWindow("org.example.other");
    }
    void toggleCapsLock() {
        userKey(XCB_KEY_PRESS, capsLock);
        userKey(XCB_KEY_RELEASE, capsLock);
        keysReceived(*window);
    }

    std::unique_ptr<RecordingWindow> window;
};

// The first key is the start-up press: a plain Shift.
TEST_F(X11KeyboardEventsTest, FlagsBecomeModifierKeysAroundTheKeyReleasedInReverseOrder) {
    postKey(*events, leftShiftKeyCode, 0);
    postKey(*events, virtualKeyA, EventFlags::shift);
    postKey(*events, virtualKeyA, EventFlags::control | EventFlags::command);
    postKey(*events, virtualKeyA, EventFlags::option);
    EXPECT_EQ(sequence(keysReceived(*window)),
              " +Shift_L/0 -Shift_L"
              " +Shift_L/0 +A/1 -A -Shift_L"
              " +Control_L/0 +Super_L/4 +a/44 -a -Super_L -Control_L"
              " +ISO_Level3_Shift/0 +a/80 -a -ISO_Level3_Shift");
}

TEST_F(X11KeyboardEventsTest, ModifiersTheUserHoldsOrLocksDoNotReachTheKeyAndAreRestored) {
    userKey(XCB_KEY_PRESS, controlL);
    toggleCapsLock();
    postKey(*events, virtualKeyA, 0);
    postKey(*events, virtualKeyA, EventFlags::shift);
    // State 2: Caps Lock is on between and after the keys, but not for them.
    EXPECT_EQ(sequence(keysReceived(*window)),
              " -Control_L +a/0 -a +Control_L/2"
              " -Control_L +Shift_L/0 +A/1 -A -Shift_L +Control_L/2");
    EXPECT_TRUE(keysDown()[controlL]);
    userKey(XCB_KEY_RELEASE, controlL);
    toggleCapsLock();
}

// Shift held on the keyboard beside Control held through XTest: the command would carry
// Shift, so none of it is typed, once said; Control is held again afterwards.
TEST_F(X11KeyboardEventsTest, ACommandBesideAModifierHeldOnTheKeyboardIsNotTypedAtAll) {
    userKey(XCB_KEY_PRESS, controlL);
    physicallyHeld[shiftR] = true;
    const KeyCodeSequence command =
        KeyCodeSequence::multiple({KeyCodeSequence::single({virtualKeyA, EventFlags::shift}),
                                   KeyCodeSequence::single({virtualKeyA, 0})});
    postKeyCodeSequence(*events, command);
    physicallyHeld.reset();
    EXPECT_EQ(sequence(keysReceived(*window)), " +Control_L/0 -Control_L +Control_L/0");
    EXPECT_EQ(diagnostics.str(),
              "A command was not typed: a modifier key is held down on the keyboard.\n");

    postKeyCodeSequence(*events, command);  // let go of: typed whole
    EXPECT_EQ(sequence(keysReceived(*window)),
              " -Control_L +Shift_L/0 +A/1 -A -Shift_L +a/0 -a +Control_L/0");
    userKey(XCB_KEY_RELEASE, controlL);
}

TEST_F(X11KeyboardEventsTest, KeyWithoutAnXKeyMakesNoEventAndAKeyDownIsReleasedWithItsSource) {
    {
        const std::unique_ptr<KeyboardEventSource> source = events->createSource();
        ASSERT_NE(source, nullptr);
        EXPECT_FALSE(source->createKeyboardEvent(0x7F, true));  // no key at these positions
        EXPECT_FALSE(source->createKeyboardEvent(0x34, true));
        std::optional<KeyboardEvent> down = source->createKeyboardEvent(virtualKeyA, true);
        ASSERT_TRUE(down);
        down->flags = EventFlags::shift;
        source->post(*down);
        EXPECT_TRUE(keysDown()[keyA]);
    }
    EXPECT_EQ(sequence(keysReceived(*window)), " +Shift_L/0 +A/1 -A -Shift_L");
}

}  // namespace
}  // namespace corvane::testing
