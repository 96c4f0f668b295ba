#include "keystroke/x11/x11_keyboard_events.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "keystroke/event_posting.h"
#include "keystroke/x11/xcb_xkb.h"
#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

// Keycodes of the us layout on an evdev keymap.
constexpr xcb_keycode_t shiftL = 50;
constexpr xcb_keycode_t controlL = 37;
constexpr xcb_keycode_t capsLock = 66;
constexpr xcb_keycode_t keyA = 38;
constexpr std::uint16_t virtualKeyA = 0x00;

// Core modifier masks.
constexpr unsigned shiftMask = 0x01;
constexpr unsigned lockMask = 0x02;
constexpr unsigned controlMask = 0x04;
constexpr unsigned mod4Mask = 0x40;
constexpr unsigned mod5Mask = 0x80;

using X11KeyboardEventsTest = X11DesktopTest;

bool keyIsDown(xcb_connection_t* c, xcb_keycode_t keycode) {
    xcb_query_keymap_reply_t* reply = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    const bool down = reply != nullptr && (reply->keys[keycode / 8] & (1U << (keycode % 8))) != 0;
    std::free(reply);
    return down;
}

std::uint8_t lockedModifiers(xcb_connection_t* c) {
    xcb_xkb_get_state_reply_t* state =
        xcb_xkb_get_state_reply(c, xcb_xkb_get_state(c, XCB_XKB_ID_USE_CORE_KBD), nullptr);
    const std::uint8_t locked = state != nullptr ? state->lockedMods : 0;
    std::free(state);
    return locked;
}

TEST_F(X11KeyboardEventsTest, StartUpPressIsOneShiftDownAndUp) {
    auto window = openWindow("org.example.other");
    postKey(*events, leftShiftKeyCode, 0);
    const std::vector<RecordedKey> keys = keysReceived(*window);
    ASSERT_EQ(keys.size(), 2U);
    EXPECT_TRUE(keys[0].press);
    EXPECT_EQ(keys[0].keycode, shiftL);
    EXPECT_EQ(keys[0].state, 0U);
    EXPECT_FALSE(keys[1].press);
    EXPECT_EQ(keys[1].keycode, shiftL);
}

TEST_F(X11KeyboardEventsTest, FlagsBecomeModifierKeysAroundTheKey) {
    auto window = openWindow("org.example.other");
    postKey(*events, virtualKeyA, EventFlags::shift);
    postKey(*events, virtualKeyA, EventFlags::control | EventFlags::command);
    postKey(*events, virtualKeyA, EventFlags::option);
    const std::vector<RecordedKey> keys = keysReceived(*window);
    const std::vector<TypedKey> expected = {
        {keyA, shiftMask, "A"}, {keyA, controlMask | mod4Mask, "\\x01"}, {keyA, mod5Mask, "a"}};
    EXPECT_EQ(typedKeys(keys), expected);
    // Shift: Shift_L down, A down, A up, Shift_L up; nothing else.
    ASSERT_GE(keys.size(), 4U);
    EXPECT_EQ(keys[0].keysym, "Shift_L");
    EXPECT_TRUE(keys[0].press);
    EXPECT_EQ(keys[3].keysym, "Shift_L");
    EXPECT_FALSE(keys[3].press);
}

TEST_F(X11KeyboardEventsTest, HeldModifierDoesNotLeakAndIsHeldAgain) {
    auto window = openWindow("org.example.other");
    userKey(XCB_KEY_PRESS, controlL);
    postKey(*events, virtualKeyA, 0);
    postKey(*events, virtualKeyA, EventFlags::shift);
    std::vector<RecordedKey> keys = keysReceived(*window);
    const std::vector<TypedKey> expected = {{keyA, 0, "a"}, {keyA, shiftMask, "A"}};
    EXPECT_EQ(typedKeys(keys), expected);
    EXPECT_TRUE(keyIsDown(connection->get(), controlL));
    ASSERT_FALSE(keys.empty());
    EXPECT_EQ(keys.back().keysym, "Control_L");
    EXPECT_TRUE(keys.back().press);
    userKey(XCB_KEY_RELEASE, controlL);
}

TEST_F(X11KeyboardEventsTest, CapsLockDoesNotChangeWhatIsTypedAndStaysOn) {
    auto window = openWindow("org.example.other");
    userKey(XCB_KEY_PRESS, capsLock);
    userKey(XCB_KEY_RELEASE, capsLock);
    ASSERT_EQ(lockedModifiers(connection->get()) & lockMask, lockMask);
    keysReceived(*window);

    postKey(*events, virtualKeyA, 0);
    postKey(*events, virtualKeyA, EventFlags::shift);
    const std::vector<TypedKey> expected = {{keyA, 0, "a"}, {keyA, shiftMask, "A"}};
    EXPECT_EQ(typedKeys(keysReceived(*window)), expected);
    EXPECT_EQ(lockedModifiers(connection->get()) & lockMask, lockMask);

    userKey(XCB_KEY_PRESS, capsLock);
    userKey(XCB_KEY_RELEASE, capsLock);
}

TEST_F(X11KeyboardEventsTest, KeyWithoutAnXKeyMakesNoEvent) {
    const std::unique_ptr<KeyboardEventSource> source = events->createSource();
    ASSERT_NE(source, nullptr);
    EXPECT_FALSE(source->createKeyboardEvent(0x7F, true));  // no key at that position
    EXPECT_FALSE(source->createKeyboardEvent(0x34, true));
    EXPECT_TRUE(source->createKeyboardEvent(virtualKeyA, true));
}

TEST_F(X11KeyboardEventsTest, KeyDownWithoutKeyUpIsReleasedWithItsSource) {
    auto window = openWindow("org.example.other");
    {
        const std::unique_ptr<KeyboardEventSource> source = events->createSource();
        std::optional<KeyboardEvent> down = source->createKeyboardEvent(virtualKeyA, true);
        ASSERT_TRUE(down);
        down->flags = EventFlags::shift;
        source->post(*down);
        EXPECT_TRUE(keyIsDown(connection->get(), keyA));
    }
    const std::vector<TypedKey> expected = {{keyA, shiftMask, "A"}};
    EXPECT_EQ(typedKeys(keysReceived(*window)), expected);
}

}  // namespace
}  // namespace corvane::testing
