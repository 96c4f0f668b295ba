#include "shell/win32/message_loop.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "shell/win32/message_loop_queue.h"
#include "shell/win32/message_loop_timer.h"

namespace corvane::win32 {
namespace {

using namespace std::chrono_literals;

// The loop's exit code once a task ends it; 1 after 20 s, should the task that ends it be lost.
int runMessageLoopOrGiveUp() {
    const UINT_PTR failSafe =
        SetTimer(nullptr, 0, 20000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); });
    const int code = runMessageLoop();
    KillTimer(nullptr, failSafe);
    return code;
}

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
    EXPECT_EQ(runMessageLoopOrGiveUp(), 0);
    EXPECT_EQ(elsewhere, 0);
    for (const std::vector<int>& order : ran) {
        ASSERT_EQ(order.size(), std::size_t{tasksEach});
        EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
    }
}

TEST(MessageLoopTimer, RunsTasksFromTheLoopAsTheyComeDueAndDropsThoseLeftWhenItGoes) {
    std::vector<int> ran;
    auto timer = std::make_unique<MessageLoopTimer>();
    timer->runAfter(10ms, [&] {
        ran.push_back(10);
        timer->runAfter(10ms, [&] {
            ran.push_back(20);
            PostQuitMessage(0);
        });
    });
    timer->runAfter(0ms, [&] {
        ran.push_back(0);
        timer->runAfter(0ms, [&] { ran.push_back(2); });
    });
    timer->runAfter(0ms, [&] { ran.push_back(1); });
    EXPECT_TRUE(ran.empty()) << "a task ran within the call";
    EXPECT_EQ(runMessageLoopOrGiveUp(), 0);
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2, 10, 20}));

    timer->runAfter(0ms, [&] { ran.push_back(-1); });
    timer.reset();
    for (MSG message{}; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
        DispatchMessageW(&message);
    }
    EXPECT_EQ(ran.size(), 5U) << "a task ran after the timer went";
}

}  // namespace
}  // namespace corvane::win32
