#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <vector>

#include "shell/app_delegate.h"
#include "shell/win32/corvane_client_app.h"
#include "support/fake_connection_status.h"

namespace corvane::win32 {
namespace {

void dispatchPendingMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ASSERT_NE(message.message, static_cast<UINT>(WM_QUIT));
        DispatchMessageW(&message);
    }
}

std::vector<std::wstring> menuItems(const Corvane_ClientApp& app) {
    const MenuHandle menu = app.makeMenu();
    std::vector<std::wstring> items;
    for (int i = 0; i < GetMenuItemCount(menu.get()); ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu.get(), static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        const bool grayed =
            (GetMenuState(menu.get(), static_cast<UINT>(i), MF_BYPOSITION) & MF_GRAYED) != 0;
        items.push_back(std::wstring(text).empty() ? L"--"
                        : grayed                   ? L"(" + std::wstring(text) + L")"
                                                   : text);
    }
    return items;
}

// The About windows open (the test's own: no other program makes one meanwhile).
std::vector<HWND> aboutWindows() {
    std::vector<HWND> found;
    for (HWND window = nullptr;
         (window = FindWindowExW(nullptr, window, L"CorvaneClientAbout", nullptr));) {
        found.push_back(window);
    }
    return found;
}

int clientWidth(HWND window) {
    RECT client{};
    GetClientRect(window, &client);
    return client.right;
}

class UserInterfaceTest : public ::testing::Test {
  protected:
    testing::FakeConnectionStatus status;
    NotificationCenter defaultCenter;
    Corvane_ClientApp app{status, defaultCenter};
};

TEST_F(UserInterfaceTest, TheIconAndTheStatusLineFollowTheConnection) {
    const HICON plain = app.iconInTaskbar();
    ASSERT_NE(plain, nullptr) << "no icon in Wine's notification area";
    EXPECT_EQ(menuItems(app), (std::vector<std::wstring>{L"(Status: Not Connected)", L"--",
                                                         L"About", L"--", L"Quit"}));
    status.set(true);
    dispatchPendingMessages();
    EXPECT_NE(app.iconInTaskbar(), plain);
    EXPECT_EQ(menuItems(app)[0], L"(Status: Connected)");
    status.set(false);
    dispatchPendingMessages();
    EXPECT_EQ(app.iconInTaskbar(), plain);
}

TEST_F(UserInterfaceTest, TheIconComesBackWhenTheTaskbarStartsAgain) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = app.window();
    data.uID = 1;
    // A taskbar that starts again has lost every icon.
    ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &data));
    ASSERT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &data));
    SendMessageW(app.window(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &data));
}

TEST_F(UserInterfaceTest, AboutAndReopenShowOneAboutWindowThreeHundredPixelsWideAtNinetySixDpi) {
    app.showWindow(Corvane_ClientApp::aboutWindowGroup);
    defaultCenter.post(applicationDidHandleReopenNotification, nullptr);
    const std::vector<HWND> windows = aboutWindows();
    ASSERT_EQ(windows.size(), 1U);
    const HWND about = windows[0];
    EXPECT_TRUE(IsWindowVisible(about));
    EXPECT_TRUE(app.hasVisibleWindows());
    ASSERT_EQ(GetDpiForWindow(about), 96U);
    EXPECT_EQ(clientWidth(about), 300);

    std::vector<std::wstring> texts;
    for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t text[64] = {};
        GetWindowTextW(child, text, 64);
        if (text[0] != 0) {
            texts.emplace_back(text);
        }
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{
                         L"Corvane Client", L"Version 1.0.0", L"\u00A9 2026 Corvane Software",
                         L"\u00A9 2026 the Corvane Client developers", L"Quit Corvane Client"}));

    // Moved to a monitor at twice the scale, it is twice as wide.
    RECT suggested{10, 10, 700, 700};
    SendMessageW(about, WM_DPICHANGED, MAKEWPARAM(192, 192), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(clientWidth(about), 600);

    // Closed, it is gone; About opens a new one.
    SendMessageW(about, WM_CLOSE, 0, 0);
    EXPECT_TRUE(aboutWindows().empty());
    EXPECT_FALSE(app.hasVisibleWindows());
    app.showWindow(Corvane_ClientApp::aboutWindowGroup);
    EXPECT_EQ(aboutWindows().size(), 1U);
}

TEST_F(UserInterfaceTest, QuitInTheMenuAndInTheAboutWindowEndTheMessageLoop) {
    for (const bool fromAbout : {false, true}) {
        if (fromAbout) {
            app.showWindow(Corvane_ClientApp::aboutWindowGroup);
            SendMessageW(aboutWindows().at(0), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        } else {
            SendMessageW(app.window(), WM_COMMAND, Corvane_ClientApp::quit, 0);
        }
        MSG message{};
        EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    }
}

}  // namespace
}  // namespace corvane::win32
