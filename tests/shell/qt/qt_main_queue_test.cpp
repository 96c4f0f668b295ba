#include <gtest/gtest.h>

#include <numeric>
#include <thread>
#include <vector>

#include "shell/qt/qt_main_queue.h"
#include "support/qt/core_application.h"

namespace corvane {
namespace {

TEST(QtMainQueueTest, TasksPostedFromAnotherThreadRunOnTheMainThreadInOrder) {
    std::vector<int> posted(1000);
    std::iota(posted.begin(), posted.end(), 0);
    QtMainQueue queue;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::vector<int> ran;  // -1 for a task that ran on another thread

    std::thread poster([&] {
        for (const int i : posted) {
            queue.post(
                [&, i] { ran.push_back(std::this_thread::get_id() == mainThread ? i : -1); });
        }
    });
    EXPECT_TRUE(testing::processEventsUntil([&] { return ran.size() >= posted.size(); }));
    poster.join();
    EXPECT_EQ(ran, posted);
}

TEST(QtMainQueueTest, TasksWaitForTheEventLoopAndDieWithTheQueue) {
    bool ran = false;
    {
        QtMainQueue queue;
        queue.post([&ran] { ran = true; });
        EXPECT_FALSE(ran);
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran) << "a task outlived its queue";
}

}  // namespace
}  // namespace corvane
