// The command handler typing into a real X window: the X11 workspace finds the recording
// window's id, the X11 layout places the characters, XTest posts the keys.

#include <gtest/gtest.h>

#include "command/command_handler.h"
#include "command/x11/x11_workspace.h"
#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

// Core modifier masks and keycodes of an evdev keymap.
constexpr unsigned shift = 0x01, super = 0x40 /* Mod4 */, level3 = 0x80 /* Mod5 */;
constexpr unsigned keyP = 33, keyT = 28, key6 = 15, key9 = 18, minus = 20, escape = 9, keypad9 = 81,
                   keypadPlus = 86;

// Positions 1, 1, then five 0: Shift+P, "-", "-", five "^", Return.
constexpr std::uint32_t doricoWord = 0x10000005;
constexpr std::uint32_t sibeliusWord = 0x10000000;

std::vector<TypedKey> doricoKeys(unsigned minusKey, unsigned caretKey, unsigned caretState,
                                 unsigned group) {
    std::vector<TypedKey> keys = {{keyP, shift | group, "P"}};
    keys.insert(keys.end(), 2, {minusKey, group, "-"});
    keys.insert(keys.end(), 5, {caretKey, caretState | group, "^"});
    keys.push_back({36, group, "\\x0d"});  // Return
    return keys;
}

using X11CommandHandlerTest = X11DesktopTest;

// One handler for all cases: each layout switch comes between two commands, and the next
// command must follow it.
TEST_F(X11CommandHandlerTest, TypesForTheFrontmostApplicationOnTheCurrentLayout) {
    x11::X11Workspace workspace(*connection);
    std::ostringstream output;
    CommandHandler handler(workspace, *layouts, *events, output);
    const unsigned secondGroup = 0x2000;
    std::vector<TypedKey> sibelius = {{keyT, super, "t"}};
    sibelius.insert(sibelius.end(), 3, {keypad9, super | level3, ""});
    sibelius.push_back({keypadPlus, super | level3, "+"});
    sibelius.insert(sibelius.end(), 4, {keypad9, super | level3, ""});
    sibelius.insert(sibelius.end(), 2, {escape, 0, "\\x1b"});
    struct Case {
        std::string layout;
        std::uint8_t group;
        std::string application;
        std::uint32_t word;
        std::vector<TypedKey> keys;
    };
    for (const auto& [layout, group, application, word, keys] : std::vector<Case>{
             {"us", 0, "com.steinberg.dorico9", doricoWord, doricoKeys(minus, key6, shift, 0)},
             {"fr", 0, "com.steinberg.dorico7", doricoWord, doricoKeys(key6, key9, level3, 0)},
             {"us,fr", 1, "com.steinberg.dorico9", doricoWord,
              doricoKeys(key6, key9, level3, secondGroup)},
             {"de", 0, "com.steinberg.dorico9", doricoWord, {}},
             {"us", 0, "com.avid.sibelius", sibeliusWord, sibelius},
             {"us", 0, "org.example.other", doricoWord, {}},
             {"us", 0, "org.example.other", sibeliusWord, {}}}) {
        SCOPED_TRACE(layout + " " + application);
        ASSERT_TRUE(server->run({"setxkbmap", layout}));
        lockGroup(group);
        auto window = openWindow(application);
        output.str("");
        handler.handleCommand(word);
        EXPECT_EQ(output.str(), "AppBundleId: " + application + "\n");
        const std::vector<RecordedKey> received = keysReceived(*window);
        EXPECT_EQ(typedKeys(received), keys);
        EXPECT_EQ(received.empty(), keys.empty());  // not even a modifier for no keys
    }
}

}  // namespace
}  // namespace corvane::testing
