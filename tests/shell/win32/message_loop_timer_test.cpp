#include "shell/win32/message_loop_timer.h"

#include <gtest/gtest.h>

#include <vector>

#include "shell/win32/message_loop.h"

namespace corvane::win32 {
namespace {

using namespace std::chrono_literals;

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
    // Ends the loop if a task were lost.
    const UINT_PTR failSafe =
        SetTimer(nullptr, 0, 20000, [](HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(1); });
    EXPECT_EQ(runMessageLoop(), 0);
    KillTimer(nullptr, failSafe);
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
