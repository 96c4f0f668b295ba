#include "command/command_handler.h"

#include <gtest/gtest.h>

#include <sstream>

#include "keystroke/xkb/named_layouts.h"
#include "support/fixed_workspace.h"
#include "support/recording_keyboard_events.h"

namespace corvane {
namespace {

class CommandHandlerTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(layouts.select("us")); }

    // Handles `word` with `id` frontmost; the output line it wrote. The command must be over
    // exactly once.
    std::string handle(std::optional<std::string> id, std::uint32_t word) {
        workspace.frontmost = RunningApplication{std::move(id)};
        output.str("");
        int over = 0;
        handler.handleCommand(word, [&over] { ++over; });
        EXPECT_EQ(over, 1);
        return output.str();
    }

    testing::FixedWorkspace workspace;
    xkb::NamedLayouts layouts;
    testing::RecordingKeyboardEvents events;
    std::ostringstream output;
    CommandHandler handler{workspace, layouts, events, output};
};

// Matching is exact: other letter case, other versions, other programs are no targets.
TEST_F(CommandHandlerTest, OtherApplicationsAndOtherWordsOnlyGetTheLine) {
    for (const char* id : {"org.example.other", "com.avid.Sibelius", "COM.STEINBERG.DORICO9",
                           "com.steinberg.dorico10", "com.steinberg.dorico5", "com.avid.sibelius ",
                           "", "Sibelius.exe", "dorico10.exe", "dorico9", "myapp.exe"}) {
        EXPECT_EQ(handle(id, 0x10000000), "AppBundleId: " + std::string(id) + "\n");
    }
    EXPECT_EQ(handle("com.avid.sibelius", 0x11000000), "AppBundleId: com.avid.sibelius\n");
    EXPECT_EQ(handle("com.steinberg.dorico7", 0x0F000000), "AppBundleId: com.steinberg.dorico7\n");
    EXPECT_TRUE(events.commands.empty());
}

TEST_F(CommandHandlerTest, ACharacterTheLayoutCannotTypeDropsTheWholeCommand) {
    // On "de" '^' is only a dead key: not even Shift+P may be posted.
    ASSERT_TRUE(layouts.select("de"));
    EXPECT_EQ(handle("com.steinberg.dorico8", 0x10000000), "AppBundleId: com.steinberg.dorico8\n");
    EXPECT_TRUE(events.commands.empty());
    handle("com.avid.sibelius", 0x10000000);  // fixed keys still type
    EXPECT_EQ(events.presses().size(), 11U);
}

// A Windows program under Wine reads Command and Option as Ctrl and Alt; a macOS id keeps
// the macOS reading. The keys themselves are the same, posted as one command.
TEST_F(CommandHandlerTest, EachTargetGetsItsFamilysKeysWithItsShortcutConvention) {
    for (const auto& [id, presses, convention] :
         std::vector<std::tuple<std::string, std::size_t, ShortcutConvention>>{
             {"com.avid.sibelius", 11, macShortcuts},
             {"sibelius.exe", 11, windowsShortcuts},
             {"com.steinberg.dorico6", 9, macShortcuts},
             {"dorico6.exe", 9, windowsShortcuts},
             {"dorico9.exe", 9, windowsShortcuts}}) {
        SCOPED_TRACE(id);
        events.commands.clear();
        EXPECT_EQ(handle(id, 0x10001249), "AppBundleId: " + id + "\n");
        ASSERT_EQ(events.commands.size(), 1U);
        EXPECT_EQ(events.commands[0].keys.size(), presses);
        EXPECT_EQ(events.commands[0].shortcuts, convention);
    }
}

TEST_F(CommandHandlerTest, NoFrontmostApplicationOrNoIdIsSilent) {
    EXPECT_EQ(handle(std::nullopt, 0x10000000), "");
    workspace.frontmost.reset();
    int over = 0;
    handler.handleCommand(0x10000000, [&over] { ++over; });
    EXPECT_EQ(over, 1);
    EXPECT_EQ(output.str(), "");
    EXPECT_TRUE(events.commands.empty());
}

}  // namespace
}  // namespace corvane
