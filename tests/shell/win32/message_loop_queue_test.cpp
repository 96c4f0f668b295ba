#include "shell/win32/message_loop_queue.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "shell/win32/message_loop.h"

namespace corvane::win32 {
namespace {

// More tasks than a thread's message queue holds (10000 posted messages).
TEST(MessageLoopQueue, RunsEveryTaskOnItsOwnThreadInTheOrderEachThreadPostedIt) {
    constexpr int threads = 4, tasksEach = 5000;
    MessageLoopQueue queue;
    const DWORD mainThread = GetCurrentThreadId();
    std::vector<std::vector<int>> ran(threads);
    int elsewhere = 0, total = 0;
    std::vector<std::thread> posters;
    for (int poster = 0; poster < threads; ++poster) {
        posters.emplace_back([&, poster] {
            for (int task = 0; task < tasksEach; ++task) {
                queue.post([&, poster, task] {
                    ran[poster].push_back(task);
                    elsewhere += GetCurrentThreadId() != mainThread ? 1 : 0;
                    if (++total == threads * tasksEach) {
                        PostQuitMessage(0);
                    }
                });
            }
        });
    }
    for (std::thread& poster : posters) {
        poster.join();
    }
    // Ends the loop if a task were lost.
    const UINT_PTR timer =
        SetTimer(nullptr, 0, 20000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); });
    EXPECT_EQ(runMessageLoop(), 0);
    KillTimer(nullptr, timer);
    EXPECT_EQ(elsewhere, 0);
    for (const std::vector<int>& order : ran) {
        ASSERT_EQ(order.size(), std::size_t{tasksEach});
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    }
}

}  // namespace
}  // namespace corvane::win32
