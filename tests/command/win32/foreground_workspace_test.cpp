#include "command/win32/foreground_workspace.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace corvane::win32 {
namespace {

TEST(ForegroundWorkspace, NamesTheForegroundWindowsProgramByItsFileNameInLowerCase) {
    const HWND window = CreateWindowExW(0, L"STATIC", L"in front", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                        0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    SetForegroundWindow(window);
    ASSERT_EQ(GetForegroundWindow(), window);

    ForegroundWorkspace workspace;
    const std::optional<RunningApplication> front = workspace.frontmostApplication();
    ASSERT_TRUE(front.has_value());
    EXPECT_EQ(front->bundleIdentifier, "command_win32_tests.exe");
    DestroyWindow(window);
}

}  // namespace
}  // namespace corvane::win32
