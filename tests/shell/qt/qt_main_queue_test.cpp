#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <thread>
#include <vector>

#include "event_loop.h"
#include "shell/qt/qt_main_queue.h"

namespace corvane {
namespace {

TEST(QtMainQueueTest, TasksPostedFromAnotherThreadRunOnTheMainThreadInOrder) {
    constexpr int kTasks = 1000;
    QtMainQueue queue;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::vector<int> ran;
    bool allOnMainThread = true;

    std::thread poster;
    const int result = testing::runEventLoop([&] {
        poster = std::thread([&] {
            for (int i = 0; i < kTasks; ++i) {
                queue.post([&, i] {
                    allOnMainThread = allOnMainThread && std::this_thread::get_id() == mainThread;
                    ran.push_back(i);
                    if (i == kTasks - 1) {
                        QCoreApplication::exit(0);
                    }
                });
            }
        });
    });
    poster.join();

    ASSERT_EQ(result, 0);
    EXPECT_TRUE(allOnMainThread);
    ASSERT_EQ(ran.size(), static_cast<std::size_t>(kTasks));
    for (int i = 0; i < kTasks; ++i) {
        EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
    }
}

TEST(QtMainQueueTest, TasksWaitForTheEventLoopAndDieWithTheQueue) {
    bool ran = false;
    {
        QtMainQueue queue;
        queue.post([&ran] { ran = true; });
        EXPECT_FALSE(ran);
        QCoreApplication::processEvents();
        EXPECT_TRUE(ran);

        ran = false;
        queue.post([&ran] { ran = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran) << "a task outlived its queue";
}

}  // namespace
}  // namespace corvane
