#include "command/command_handler.h"

#include <gtest/gtest.h>

#include <sstream>

#include "keystroke/xkb/named_layouts.h"
#include "support/recording_keyboard_events.h"

namespace corvane {
namespace {

class FixedWorkspace final : public Workspace {
  public:
    std::optional<RunningApplication> frontmost;
    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
};

class CommandHandlerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(layouts.select("us")); }

    void frontmostIs(std::optional<std::string> id) {
        workspace.frontmost = RunningApplication{std::move(id)};
    }
    std::vector<KeyCodePair> presses() const { return events.presses(); }

    FixedWorkspace workspace;
    xkb::NamedLayouts layouts;
    testing::RecordingKeyboardEvents events;
    std::ostringstream output;
    CommandHandler handler{workspace, layouts, events, output};
};

constexpr CGEventFlags commandOption = EventFlags::command | EventFlags::option;

TEST_F(CommandHandlerTest, SibeliusGetsElevenFixedPresses) {
    frontmostIs("com.avid.sibelius");
    handler.handleCommand(0x10000000);
    EXPECT_EQ(output.str(), "AppBundleId: com.avid.sibelius\n");
    const std::vector<KeyCodePair> expected = {{0x11, EventFlags::command},
                                               {0x5C, commandOption},
                                               {0x5C, commandOption},
                                               {0x5C, commandOption},
                                               {0x45, commandOption},
                                               {0x5C, commandOption},
                                               {0x5C, commandOption},
                                               {0x5C, commandOption},
                                               {0x5C, commandOption},
                                               {0x35, 0},
                                               {0x35, 0}};
    EXPECT_EQ(presses(), expected);
}

TEST_F(CommandHandlerTest, DoricoGetsCharactersOfTheCurrentLayout) {
    frontmostIs("com.steinberg.dorico9");
    handler.handleCommand(0x10000005);  // positions 1, 1, then 0
    EXPECT_EQ(output.str(), "AppBundleId: com.steinberg.dorico9\n");
    // On "us": '-' is the unshifted minus key, '^' is Shift+6.
    const KeyCodePair minus{0x1B, 0};
    const KeyCodePair caret{0x16, EventFlags::shift};
    const std::vector<KeyCodePair> expected = {
        {0x23, EventFlags::shift}, minus, minus, caret, caret, caret, caret, caret, {0x24, 0}};
    EXPECT_EQ(presses(), expected);

    events.posted.clear();
    frontmostIs("com.steinberg.dorico6");
    handler.handleCommand(0x10000002);
    EXPECT_EQ(presses().at(1), (KeyCodePair{0x09, 0}));  // 'v'
}

TEST_F(CommandHandlerTest, OtherApplicationsOnlyGetTheLine) {
    for (const char* id : {"org.example.other", "com.avid.Sibelius", "COM.STEINBERG.DORICO9",
                           "com.steinberg.dorico10", "com.steinberg.dorico5",
                           "com.steinberg.dorico", "com.avid.sibelius ", ""}) {
        output.str("");
        frontmostIs(id);
        handler.handleCommand(0x10000000);
        EXPECT_EQ(output.str(), "AppBundleId: " + std::string(id) + "\n");
    }
    EXPECT_TRUE(events.posted.empty());
}

TEST_F(CommandHandlerTest, WordsOfAnotherClassOnlyGetTheLine) {
    frontmostIs("com.avid.sibelius");
    handler.handleCommand(0x11000000);
    frontmostIs("com.steinberg.dorico7");
    handler.handleCommand(0x0F000000);
    EXPECT_EQ(output.str(), "AppBundleId: com.avid.sibelius\nAppBundleId: com.steinberg.dorico7\n");
    EXPECT_TRUE(events.posted.empty());
}

TEST_F(CommandHandlerTest, ACharacterTheLayoutCannotTypeDropsTheWholeCommand) {
    // On "de" '^' is only a dead key: not even Shift+P may be posted.
    ASSERT_TRUE(layouts.select("de"));
    frontmostIs("com.steinberg.dorico8");
    handler.handleCommand(0x10000000);
    EXPECT_EQ(output.str(), "AppBundleId: com.steinberg.dorico8\n");
    EXPECT_TRUE(events.posted.empty());
    // The same word still types into Sibelius, whose keys are fixed.
    frontmostIs("com.avid.sibelius");
    handler.handleCommand(0x10000000);
    EXPECT_EQ(presses().size(), 11U);
}

TEST_F(CommandHandlerTest, NoFrontmostApplicationOrNoIdIsSilent) {
    workspace.frontmost.reset();
    handler.handleCommand(0x10000000);
    frontmostIs(std::nullopt);
    handler.handleCommand(0x10000000);
    EXPECT_EQ(output.str(), "");
    EXPECT_TRUE(events.posted.empty());
}

}  // namespace
}  // namespace corvane
