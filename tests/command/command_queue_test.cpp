#include "command/command_queue.h"

#include <gtest/gtest.h>

#include <sstream>

#include "keystroke/xkb/named_layouts.h"
#include "support/asio_main_thread_timer.h"
#include "support/fixed_workspace.h"
#include "support/recording_keyboard_events.h"

namespace corvane {
namespace {

class CommandQueueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(layouts.select("us"));
        workspace.frontmost = RunningApplication{"com.avid.sibelius"};
        events.holdCommands = true;
    }
    // Runs the loop until it has nothing left to do.
    void runLoop() {
        loop.restart();
        loop.run();
    }

    asio::io_context loop;
    testing::AsioMainThreadTimer timer{loop};
    testing::FixedWorkspace workspace;
    xkb::NamedLayouts layouts;
    testing::RecordingKeyboardEvents events;
    std::ostringstream output;
    CommandHandler handler{workspace, layouts, events, output};
    CommandQueue queue{handler, timer};
};

// A word starts once the one before is over, and only from the main loop; its hold is let
// go when it is over. The frontmost application is the one at the word's turn.
TEST_F(CommandQueueTest, WordsAreTypedOneAtATimeInOrderEachLetGoOfOnceOver) {
    std::vector<std::weak_ptr<int>> holds;
    for (const std::uint32_t word : {0x10000000U, 0x10001249U, 0x10000000U}) {
        const auto hold = std::make_shared<int>();
        holds.push_back(hold);
        queue.add(word, hold);
    }
    EXPECT_EQ(events.commands.size(), 1U);  // the first at once, the others wait
    runLoop();
    EXPECT_EQ(events.commands.size(), 1U);
    EXPECT_EQ(queue.size(), 3U);
    EXPECT_FALSE(holds[0].expired());  // held while it is typed

    events.finishOne();
    EXPECT_TRUE(holds[0].expired());
    EXPECT_FALSE(holds[1].expired());
    EXPECT_EQ(events.commands.size(), 1U);  // not within the completion
    runLoop();
    ASSERT_EQ(events.commands.size(), 2U);
    EXPECT_NE(events.commands[1].keys, events.commands[0].keys);  // the second word's keys

    workspace.frontmost =
        RunningApplication{"org.example.other"};  // the third word finds another application
    events.finishOne();
    runLoop();
    EXPECT_EQ(events.commands.size(), 2U);
    EXPECT_EQ(queue.size(), 0U);
    EXPECT_TRUE(holds[1].expired() && holds[2].expired());
    EXPECT_EQ(output.str(),
              "AppBundleId: com.avid.sibelius\nAppBundleId: com.avid.sibelius\n"
              "AppBundleId: org.example.other\n");
}

TEST_F(CommandQueueTest, WordsStillWaitingAreLetGoOfWhenTheQueueGoes) {
    auto queueGoing = std::make_unique<CommandQueue>(handler, timer);
    const auto hold = std::make_shared<int>();
    queueGoing->add(0x10000000, hold);
    queueGoing->add(0x10000000, hold);
    queueGoing.reset();
    EXPECT_EQ(hold.use_count(), 1);
    events.finishOne();  // a command over after its queue has gone changes nothing
    runLoop();
    EXPECT_EQ(events.commands.size(), 1U);
}

}  // namespace
}  // namespace corvane
