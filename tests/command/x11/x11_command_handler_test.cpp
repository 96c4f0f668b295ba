// The command handler typing into a real X window: the X11 workspace finds the
// recording window's id, the X11 layout places the characters, XTest posts the keys.

#include <gtest/gtest.h>

#include <sstream>

#include "command/command_handler.h"
#include "command/x11/x11_workspace.h"
#include "keystroke/x11/xcb_xkb.h"
#include "support/x11_desktop.h"

namespace corvane::testing {
namespace {

// Core modifier masks.
constexpr unsigned shift = 0x01;
constexpr unsigned super = 0x40;   // Mod4
constexpr unsigned level3 = 0x80;  // Mod5
constexpr unsigned secondGroup = 0x2000;

// 0x10000005: positions 1, 1, then five 0: Shift+P, "-", "-", five "^", Return.
constexpr std::uint32_t doricoWord = 0x10000005;

// Keycodes of an evdev keymap.
constexpr unsigned keyP = 33, keyT = 28, key6 = 15, key9 = 18, minus = 20, returnKey = 36,
                   escape = 9, keypad9 = 81, keypadPlus = 86;

std::vector<TypedKey> doricoKeys(unsigned minusKey, unsigned minusState, unsigned caretKey,
                                 unsigned caretState, unsigned group = 0) {
    std::vector<TypedKey> keys = {{keyP, shift | group, "P"},
                                  {minusKey, minusState | group, "-"},
                                  {minusKey, minusState | group, "-"}};
    for (int i = 0; i < 5; ++i) {
        keys.push_back({caretKey, caretState | group, "^"});
    }
    keys.push_back({returnKey, group, "\\x0d"});
    return keys;
}

class X11CommandHandlerTest : public X11DesktopTest {
  protected:
    void SetUp() override {
        X11DesktopTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        workspace = std::make_unique<x11::X11Workspace>(*connection);
        handler = std::make_unique<CommandHandler>(*workspace, *layouts, *events, output);
    }

    std::unique_ptr<x11::X11Workspace> workspace;
    std::ostringstream output;
    std::unique_ptr<CommandHandler> handler;
};

TEST_F(X11CommandHandlerTest, DoricoWordOnUsTypesNineKeys) {
    auto window = openWindow("com.steinberg.dorico9");
    handler->handleCommand(doricoWord);
    EXPECT_EQ(output.str(), "AppBundleId: com.steinberg.dorico9\n");
    EXPECT_EQ(typedKeys(keysReceived(*window)), doricoKeys(minus, 0, key6, shift));
}

TEST_F(X11CommandHandlerTest, DoricoCaretOnFrArrivesWithLevelThree) {
    ASSERT_TRUE(server->run({"setxkbmap", "fr"}));
    auto window = openWindow("com.steinberg.dorico7");
    handler->handleCommand(doricoWord);
    EXPECT_EQ(typedKeys(keysReceived(*window)), doricoKeys(key6, 0, key9, level3));
}

TEST_F(X11CommandHandlerTest, DoricoWordOnDeTypesNothing) {
    ASSERT_TRUE(server->run({"setxkbmap", "de"}));
    auto window = openWindow("com.steinberg.dorico9");
    handler->handleCommand(doricoWord);
    EXPECT_EQ(output.str(), "AppBundleId: com.steinberg.dorico9\n");
    EXPECT_TRUE(keysReceived(*window).empty());
}

TEST_F(X11CommandHandlerTest, LayoutSwitchedBetweenCommandsCountsForTheNext) {
    auto window = openWindow("com.steinberg.dorico9");
    handler->handleCommand(doricoWord);
    ASSERT_TRUE(server->run({"setxkbmap", "fr"}));
    handler->handleCommand(doricoWord);
    std::vector<TypedKey> expected = doricoKeys(minus, 0, key6, shift);
    const std::vector<TypedKey> onFr = doricoKeys(key6, 0, key9, level3);
    expected.insert(expected.end(), onFr.begin(), onFr.end());
    EXPECT_EQ(typedKeys(keysReceived(*window)), expected);
}

TEST_F(X11CommandHandlerTest, GroupSwitchCountsForTheNextCommand) {
    ASSERT_TRUE(server->run({"setxkbmap", "-layout", "us,fr"}));
    auto window = openWindow("com.steinberg.dorico9");
    xcb_xkb_latch_lock_state(connection->get(), XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, 1, 0, 0, 0);
    handler->handleCommand(doricoWord);
    EXPECT_EQ(typedKeys(keysReceived(*window)), doricoKeys(key6, 0, key9, level3, secondGroup));
    xcb_xkb_latch_lock_state(connection->get(), XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, 0, 0, 0, 0);
}

TEST_F(X11CommandHandlerTest, SibeliusWordTypesElevenKeysWithSuperAndLevelThree) {
    auto window = openWindow("com.avid.sibelius");
    handler->handleCommand(0x10000000);
    EXPECT_EQ(output.str(), "AppBundleId: com.avid.sibelius\n");
    const unsigned superLevel3 = super | level3;
    const std::vector<RecordedKey> keys = keysReceived(*window);
    std::vector<std::pair<unsigned, unsigned>> typed;
    for (const TypedKey& key : typedKeys(keys)) {
        typed.emplace_back(key.keycode, key.state);
    }
    const std::vector<std::pair<unsigned, unsigned>> expected = {{keyT, super},
                                                                 {keypad9, superLevel3},
                                                                 {keypad9, superLevel3},
                                                                 {keypad9, superLevel3},
                                                                 {keypadPlus, superLevel3},
                                                                 {keypad9, superLevel3},
                                                                 {keypad9, superLevel3},
                                                                 {keypad9, superLevel3},
                                                                 {keypad9, superLevel3},
                                                                 {escape, 0},
                                                                 {escape, 0}};
    EXPECT_EQ(typed, expected);
}

TEST_F(X11CommandHandlerTest, OtherApplicationReceivesNothing) {
    auto window = openWindow("org.example.other");
    handler->handleCommand(doricoWord);
    handler->handleCommand(0x10000000);
    EXPECT_EQ(output.str(), "AppBundleId: org.example.other\nAppBundleId: org.example.other\n");
    EXPECT_TRUE(keysReceived(*window).empty());
}

}  // namespace
}  // namespace corvane::testing
