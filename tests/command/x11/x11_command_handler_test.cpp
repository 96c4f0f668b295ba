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
constexpr unsigned keyP = 33, keyT = 28, key6 = 15, key9 = 18, minus = 20, escape = 9, keypad9 = 81,
                   keypadPlus = 86;
// Where Dvorak has P, T and -: the QWERTY R, K and apostrophe keys.
constexpr unsigned dvorakP = 27, dvorakT = 45, dvorakMinus = 48;

// Positions 1, 1, then five 0: Shift+P, "-", "-", five "^", Return.
constexpr std::uint32_t doricoWord = 0x10000005;
constexpr std::uint32_t sibeliusWord = 0x10000000;

std::vector<TypedKey> doricoKeys(unsigned minusKey, unsigned caretKey, unsigned caretState,
                                 unsigned group, unsigned pKey = keyP) {
    std::vector<TypedKey> keys = {{pKey, shift | group, "P"}};
    keys.insert(keys.end(), 2, {minusKey, group, "-"});
    keys.insert(keys.end(), 5, {caretKey, caretState | group, "^"});
    keys.push_back({36, group, "\\x0d"});  // Return
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

using X11CommandHandlerTest = X11DesktopTest;

// One handler for all cases: each layout switch comes between two commands, and the next
// command must follow it. The user's NumLock is as it was before the command.
TEST_F(X11CommandHandlerTest, TypesForTheFrontmostApplicationOnTheCurrentLayout) {
    x11::X11Workspace workspace(*connection);
    std::ostringstream output;
    CommandHandler handler(workspace, *layouts, *events, output);
    const unsigned secondGroup = 0x2000;
    struct Case {
        std::vector<std::string> layout;
        std::uint8_t group;
        bool userNumLock;
        std::string application;
        std::uint32_t word;
        std::vector<TypedKey> keys;
    };
    const std::vector<std::string> us = {"us"}, dvorak = {"us", "-variant", "dvorak"};
    for (const auto& [layout, group, userNumLock, application, word, keys] : std::vector<Case>{
             {us, 0, false, "com.steinberg.dorico9", doricoWord, doricoKeys(minus, key6, shift, 0)},
             {{"fr"},
              0,
              false,
              "com.steinberg.dorico7",
              doricoWord,
              doricoKeys(key6, key9, level3, 0)},
             {{"us,fr"},
              1,
              false,
              "com.steinberg.dorico9",
              doricoWord,
              doricoKeys(key6, key9, level3, secondGroup)},
             {{"de"}, 0, false, "com.steinberg.dorico9", doricoWord, {}},
             {us, 0, false, "com.avid.sibelius", sibeliusWord, sibeliusKeys(keyT)},
             {us, 0, true, "com.avid.sibelius", sibeliusWord, sibeliusKeys(keyT)},
             {dvorak, 0, false, "com.steinberg.dorico9", doricoWord,
              doricoKeys(dvorakMinus, key6, shift, 0, dvorakP)},
             {dvorak, 0, true, "com.avid.sibelius", sibeliusWord, sibeliusKeys(dvorakT)},
             {us, 0, false, "sibelius.exe", sibeliusWord, sibeliusKeys(keyT, true)},
             {us, 0, true, "sibelius.exe", sibeliusWord, sibeliusKeys(keyT, true, true)},
             {{"fr"}, 0, false, "dorico9.exe", doricoWord, doricoKeys(key6, key9, level3, 0)},
             {us, 0, false, "myapp.exe", sibeliusWord, {}},
             {us, 0, false, "org.example.other", doricoWord, {}},
             {us, 0, false, "org.example.other", sibeliusWord, {}}}) {
        SCOPED_TRACE(layout.back() + " " + application + (userNumLock ? " NumLock" : ""));
        std::vector<std::string> setxkbmap = {"setxkbmap"};
        setxkbmap.insert(setxkbmap.end(), layout.begin(), layout.end());
        ASSERT_TRUE(server->run(setxkbmap));
        lockGroup(group);
        lockNumLock(userNumLock);
        auto window = openWindow(application);
        output.str("");
        handler.handleCommand(word);
        EXPECT_EQ(output.str(), "AppBundleId: " + application + "\n");
        const std::vector<RecordedKey> received = keysReceived(*window);
        EXPECT_EQ(typedKeys(received), keys);
        EXPECT_EQ(received.empty(), keys.empty());  // not even a modifier for no keys
        EXPECT_EQ(numLockLocked(), userNumLock);
        lockNumLock(false);
    }
}

}  // namespace
}  // namespace corvane::testing
