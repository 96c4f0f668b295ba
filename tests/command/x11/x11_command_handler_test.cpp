// The command handler typing into a real X window: the X11 workspace finds the recording
// window's id, the X11 layout places the characters, XTest posts the keys.

#include <gtest/gtest.h>

#include "command/command_handler.h"
#include "command/x11/x11_workspace.h"
#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

// Core modifier masks and keycodes of an evdev keymap.
constexpr unsigned shift = 0x01, control = 0x04, alt = 0x08 /* Mod1 */, numLock = 0x10 /* Mod2 */,
                   super = 0x40 /* Mod4 */, level3 = 0x80 /* Mod5 */;
constexpr unsigned keyP = 33, keyT = 28, keyV = 55, key6 = 15, key9 = 18, minus = 20, escape = 9,
                   keypad9 = 81, keypadPlus = 86, returnKey = 36;
// Where Neo has P, T and V: the QWERTY V, L and W keys.
constexpr unsigned neoP = 55, neoT = 46, neoV = 25;
// Caps Lock, which locks Shift with caps:shiftlock, and Neo's two Level 5 keys, which
// lock Level 5 pressed together.
const std::vector<xcb_keycode_t> capsLockKey = {66}, neoLevelFiveKeys = {94, 108};

// Positions 1, 1, then five 0: Shift+P, "-", "-", five "^", Return.
constexpr std::uint32_t doricoWord = 0x10000005;
// Positions 1, 2, 1, 2, 1, 2, 1: Shift+P, "-", "v", "-", "v", "-", "v", "-", Return.
constexpr std::uint32_t doricoWordWithoutCarets = 0x10001999;
constexpr std::uint32_t sibeliusWord = 0x10000000;

std::vector<TypedKey> doricoKeys(unsigned minusKey, unsigned caretKey, unsigned caretState,
                                 unsigned group = 0) {
    std::vector<TypedKey> keys = {{keyP, shift | group, "P"}};
    keys.insert(keys.end(), 2, {minusKey, group, "-"});
    keys.insert(keys.end(), 5, {caretKey, caretState | group, "^"});
    keys.push_back({returnKey, group, "\\x0d"});
    return keys;
}
std::vector<TypedKey> doricoKeysWithoutCarets(unsigned pKey, unsigned vKey) {
    std::vector<TypedKey> keys = {{pKey, shift, "P"}};
    for (int i = 0; i < 3; ++i) {
        keys.push_back({minus, 0, "-"});
        keys.push_back({vKey, 0, "v"});
    }
    keys.push_back({minus, 0, "-"});
    keys.push_back({returnKey, 0, "\\x0d"});
    return keys;
}

// Command+T, then the keypad keys as digits and + whatever the user's NumLock, with
// NumLock's own bit as the only one beyond Command and Option; other keys without it.
// A macOS target gets Super and the third level, a Windows one Control and Alt; there keypad
// plus carries a locked Shift, as Control+Alt alone would give the server's video-mode key.
// A Windows program takes a NumLock change for a key press: there other keys keep the
// user's NumLock.
std::vector<TypedKey> sibeliusKeys(unsigned tKey, bool windows = false, bool userNumLock = false) {
    const unsigned command = windows ? control : super, option = windows ? alt : level3;
    const unsigned otherKeys = windows && userNumLock ? numLock : 0;
    std::vector<TypedKey> keys = {{tKey, command | otherKeys, windows ? "\\x14" : "t"}};
    keys.insert(keys.end(), 3, {keypad9, command | option | numLock, "9"});
    keys.push_back({keypadPlus, command | option | numLock | (windows ? shift : 0), "+"});
    keys.insert(keys.end(), 4, {keypad9, command | option | numLock, "9"});
    keys.insert(keys.end(), 2, {escape, otherKeys, "\\x1b"});
    return keys;
}

// On Neo the keypad gives digits without NumLock and has no video-mode level.
std::vector<TypedKey> neoSibeliusKeys() {
    std::vector<TypedKey> keys = sibeliusKeys(neoT, true);
    for (TypedKey& key : keys) {
        key.state &= ~(key.keycode == keypad9 || key.keycode == keypadPlus ? numLock | shift : 0);
    }
    return keys;
}

using X11CommandHandlerTest = X11DesktopTest;

// One handler for all cases: each layout switch comes between two commands, and the next
// command must follow it. The locks the user has on do not reach the keys (a Level 5 lock
// would turn Neo's T into KP_6 and V into BackSpace) and are as they were afterwards.
TEST_F(X11CommandHandlerTest, TypesForTheFrontmostApplicationOnTheCurrentLayout) {
    x11::X11Workspace workspace(*connection);
    std::ostringstream output;
    CommandHandler handler(workspace, *layouts, *events, output);
    const std::string dorico = "com.steinberg.dorico9";
    const std::vector<std::string> us = {"us"}, usFr = {"us,fr"}, neo = {"de", "neo"},
                                   shiftLock = {"us", "-option", "caps:shiftlock"};
    struct Case {
        std::vector<std::string> layout;
        std::uint8_t group;
        bool userNumLock;
        std::vector<xcb_keycode_t> lockKeys;
        std::string application;
        std::uint32_t word;
        std::vector<TypedKey> keys;
    };
    for (const auto& [layout, group, userNumLock, lockKeys, application, word, keys] :
         std::vector<Case>{
             {us, 0, false, {}, dorico, doricoWord, doricoKeys(minus, key6, shift)},
             {usFr, 1, false, {}, dorico, doricoWord, doricoKeys(key6, key9, level3, 0x2000)},
             {us, 0, true, {}, "com.avid.sibelius", sibeliusWord, sibeliusKeys(keyT)},
             {us, 0, false, {}, "sibelius.exe", sibeliusWord, sibeliusKeys(keyT, true)},
             {us, 0, true, {}, "sibelius.exe", sibeliusWord, sibeliusKeys(keyT, true, true)},
             {shiftLock, 0, false, capsLockKey, "com.avid.sibelius", sibeliusWord,
              sibeliusKeys(keyT)},
             {shiftLock, 0, false, capsLockKey, "sibelius.exe", sibeliusWord,
              sibeliusKeys(keyT, true)},
             {shiftLock, 0, false, capsLockKey, "dorico9.exe", doricoWordWithoutCarets,
              doricoKeysWithoutCarets(keyP, keyV)},
             {neo, 0, false, neoLevelFiveKeys, "sibelius.exe", sibeliusWord, neoSibeliusKeys()},
             {neo, 0, false, neoLevelFiveKeys, dorico, doricoWordWithoutCarets,
              doricoKeysWithoutCarets(neoP, neoV)}}) {
        SCOPED_TRACE(layout.back() + " " + application + (userNumLock ? " NumLock" : ""));
        std::vector<std::string> setxkbmap = {"setxkbmap"};
        setxkbmap.insert(setxkbmap.end(), layout.begin(), layout.end());
        ASSERT_TRUE(server->run(setxkbmap));
        lockGroup(group);
        lockNumLock(userNumLock);
        auto window = openWindow(application);
        for (const xcb_keycode_t key : lockKeys) {
            userKey(XCB_KEY_PRESS, key);
        }
        for (const xcb_keycode_t key : lockKeys) {
            userKey(XCB_KEY_RELEASE, key);
        }
        keysReceived(*window);
        const unsigned locks = lockedModifiers();
        EXPECT_EQ(locks != (userNumLock ? numLock : 0), !lockKeys.empty()) << locks;

        output.str("");
        bool over = false;
        handler.handleCommand(word, [&over] { over = true; });
        ASSERT_TRUE(runLoopUntilOver(over));
        EXPECT_EQ(output.str(), "AppBundleId: " + application + "\n");
        EXPECT_EQ(typedKeys(keysReceived(*window)), keys);
        EXPECT_EQ(lockedModifiers(), locks);
        xcb_xkb_latch_lock_state(connection->get(), XCB_XKB_ID_USE_CORE_KBD, 0xFF, 0, 0, 0, 0, 0,
                                 0);
    }
}

}  // namespace
}  // namespace corvane::testing
