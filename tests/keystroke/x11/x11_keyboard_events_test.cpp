#include "keystroke/x11/x11_keyboard_events.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <xcb/xinput.h>

#include <sstream>

#include "keystroke/event_posting.h"
#include "support/x11_desktop.h"

// Xvfb's keyboard device has no keys to hold, and XTest lets go of every key XTest
// pressed. A key held on a real keyboard is what XTest cannot let go of: this program's
// view of the server shows the keys in `physicallyHeld` down on every device asked for its
// key state (only real keyboards are asked). The test holds them through XTest as well, so
// that the core keyboard has them down.
namespace {
std::bitset<256> physicallyHeld;
}

extern "C" xcb_input_query_device_state_reply_t* xcb_input_query_device_state_reply(
    xcb_connection_t* c, xcb_input_query_device_state_cookie_t cookie, xcb_generic_error_t** e) {
    using Reply = xcb_input_query_device_state_reply_t* (*)(xcb_connection_t*,
                                                            xcb_input_query_device_state_cookie_t,
                                                            xcb_generic_error_t**);
    static const auto server =
        reinterpret_cast<Reply>(dlsym(RTLD_NEXT, "xcb_input_query_device_state_reply"));
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

namespace corvane::testing {
namespace {

// Keycodes of an evdev keymap, and the virtual key code of A.
constexpr xcb_keycode_t controlL = 37, capsLock = 66, shiftR = 62;
constexpr std::uint16_t virtualKeyA = 0x00, virtualKeypadPlus = 0x45;

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

KeyCodeSequence single(KeyCodePair pair) {
    return KeyCodeSequence::single(pair);
}

// The first key is the start-up press: a plain Shift. A macOS target reads Command as
// Super and Option as the third level; a Windows target as Ctrl and Alt, except where
// Option comes from a character, which the layout types with its third level.
TEST_F(X11KeyboardEventsTest, FlagsBecomeModifierKeysByTheTargetsConvention) {
    postKey(*events, leftShiftKeyCode, 0);
    postKey(*events, virtualKeyA, EventFlags::shift);
    postKey(*events, virtualKeyA, EventFlags::control | EventFlags::command);
    postKey(*events, virtualKeyA, EventFlags::option);
    EXPECT_EQ(sequence(keysReceived(*window)),
              " +Shift_L/0 -Shift_L"
              " +Shift_L/0 +A/1 -A -Shift_L"
              " +Control_L/0 +Super_L/4 +a/44 -a -Super_L -Control_L"
              " +ISO_Level3_Shift/0 +a/80 -a -ISO_Level3_Shift");

    const CGEventFlags commandOption = EventFlags::command | EventFlags::option;
    EXPECT_TRUE(postKeyCodeSequence(
        *events,
        KeyCodeSequence::multiple({single({virtualKeyA, EventFlags::command}),
                                   single({virtualKeyA, commandOption | EventFlags::shift}),
                                   single({virtualKeyA, EventFlags::option, true})}),
        windowsShortcuts));
    EXPECT_EQ(sequence(keysReceived(*window)),
              " +Control_L/0 +a/4 -a -Control_L"
              " +Control_L/0 +Shift_L/4 +Meta_L/5 +A/d -A -Meta_L -Shift_L -Control_L"
              " +ISO_Level3_Shift/0 +a/80 -a -ISO_Level3_Shift");
}

// Control+Alt selects the keypad plus key's video-mode level, whose press the server keeps
// for itself. Shift is locked for just that press, so it reaches the application as
// keypad plus; afterwards the locks are the user's.
TEST_F(X11KeyboardEventsTest, ControlAltKeypadPlusReachesTheApplication) {
    for (const bool userNumLock : {false, true}) {
        lockNumLock(userNumLock);
        EXPECT_TRUE(postKeyCodeSequence(
            *events, single({virtualKeypadPlus, EventFlags::command | EventFlags::option}),
            windowsShortcuts));
        EXPECT_EQ(sequence(keysReceived(*window)),
                  " +Control_L/10 +Alt_L/14 +KP_Add/1d -KP_Add -Alt_L -Control_L");
        EXPECT_EQ(numLockLocked(), userNumLock);
        EXPECT_EQ(lockedModifiers() & ~XCB_MOD_MASK_2, 0U);
    }
    lockNumLock(false);
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
// Shift, so none of it is typed, not even Control let go of; said once.
TEST_F(X11KeyboardEventsTest, ACommandThatCannotBeTypedAsItsFlagsSayPostsNothing) {
    userKey(XCB_KEY_PRESS, controlL);
    userKey(XCB_KEY_PRESS, shiftR);
    physicallyHeld[shiftR] = true;
    const KeyCodeSequence command = KeyCodeSequence::multiple(
        {single({virtualKeyA, EventFlags::shift}), single({virtualKeyA, 0})});
    EXPECT_FALSE(postKeyCodeSequence(*events, command, macShortcuts));
    physicallyHeld.reset();
    userKey(XCB_KEY_RELEASE, shiftR);
    EXPECT_EQ(sequence(keysReceived(*window)), " +Control_L/0 +Shift_R/4 -Shift_R");
    EXPECT_EQ(diagnostics.str(),
              "A command was not typed: a modifier key is held down on the keyboard.\n");

    EXPECT_TRUE(postKeyCodeSequence(*events, command, macShortcuts));  // let go of: typed whole
    EXPECT_EQ(sequence(keysReceived(*window)),
              " -Control_L +Shift_L/0 +A/1 -A -Shift_L +a/0 -a +Control_L/0");
    userKey(XCB_KEY_RELEASE, controlL);
}

// A key posted through a source is typed whole at its key-down; a position without an X
// key makes no event.
TEST_F(X11KeyboardEventsTest, ASourceTypesAKeyPressWholeAtItsKeyDown) {
    const std::unique_ptr<KeyboardEventSource> source = events->createSource();
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->createKeyboardEvent(0x7F, true));  // no key at these positions
    EXPECT_FALSE(source->createKeyboardEvent(0x34, true));
    std::optional<KeyboardEvent> down = source->createKeyboardEvent(virtualKeyA, true);
    ASSERT_TRUE(down);
    down->flags = EventFlags::shift;
    source->post(*down);
    EXPECT_TRUE(keysDown().none());
    EXPECT_EQ(sequence(keysReceived(*window)), " +Shift_L/0 +A/1 -A -Shift_L");
}

}  // namespace
}  // namespace corvane::testing
