#include "shell/win32/corvane_client_app.h"

#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>

#include "shell/app_delegate.h"
#include "shell/win32/application_termination.h"

namespace corvane::win32 {

namespace {

constexpr UINT iconMessage = WM_APP + 1;
constexpr UINT statusChangedMessage = WM_APP + 2;
constexpr UINT iconId = 1;

NOTIFYICONDATAW iconData(HWND window) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = iconId;
    return data;
}

}  // namespace

Corvane_ClientApp::Corvane_ClientApp(ConnectionStatus& status, NotificationCenter& defaultCenter)
    : status_(status),
      taskbarCreated_(RegisterWindowMessageW(L"TaskbarCreated")),
      window_(HiddenWindow::Kind::topLevel, L"Corvane Client tray",
              [this](UINT message, WPARAM wParam, LPARAM lParam) {
                  return handle(message, wParam, lParam);
              }) {
    // Explorer runs at the user's level; a program started elevated would not hear it.
    ChangeWindowMessageFilterEx(window_.handle(), taskbarCreated_, MSGFLT_ALLOW, nullptr);
    addIcon();
    // The value changes after the announcement: read it once the announcing call is over.
    statusWillChange_ = status_.observeWillChange(
        [this] { PostMessageW(window_.handle(), statusChangedMessage, 0, 0); });
    reopen_ =
        defaultCenter.addObserver(applicationDidHandleReopenNotification,
                                  [this](const Notification&) { showWindow(aboutWindowGroup); });
}

Corvane_ClientApp::~Corvane_ClientApp() {
    NOTIFYICONDATAW data = iconData(window_.handle());
    Shell_NotifyIconW(NIM_DELETE, &data);
}

void Corvane_ClientApp::addIcon() {
    // The notification area's icons are small icons, as large as the screen's scale makes them.
    const UINT dpi = GetDpiForWindow(window_.handle());
    const int size = GetSystemMetricsForDpi(SM_CXSMICON, dpi);
    plainIcon_ = makeTrayIcon(size, false);
    connectedIcon_ = makeTrayIcon(size, true);

    NOTIFYICONDATAW data = iconData(window_.handle());
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = iconMessage;
    data.hIcon = iconForStatus();
    wcscpy_s(data.szTip, L"Corvane Client");
    // Already there when Explorer only announced a change of scale. Without a taskbar yet
    // (a program started with the session), the icon comes with its TaskbarCreated.
    if (Shell_NotifyIconW(NIM_ADD, &data) || Shell_NotifyIconW(NIM_MODIFY, &data)) {
        iconInTaskbar_ = data.hIcon;
    }
    data.uVersion = NOTIFYICON_VERSION_4;
    Shell_NotifyIconW(NIM_SETVERSION, &data);
}

HICON Corvane_ClientApp::iconForStatus() const {
    return status_.connected() ? connectedIcon_.get() : plainIcon_.get();
}

void Corvane_ClientApp::showStatus() {
    NOTIFYICONDATAW data = iconData(window_.handle());
    data.uFlags = NIF_ICON;
    data.hIcon = iconForStatus();
    if (Shell_NotifyIconW(NIM_MODIFY, &data)) {
        iconInTaskbar_ = data.hIcon;
    }
}

MenuHandle Corvane_ClientApp::makeMenu() const {
    MenuHandle menu(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING | MF_GRAYED, statusLine,
                status_.connected() ? L"Status: Connected" : L"Status: Not Connected");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, about, L"About");
    AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu.get(), MF_STRING, quit, L"Quit");
    return menu;
}

void Corvane_ClientApp::openMenu(POINT at) {
    const MenuHandle menu = makeMenu();
    // The menu closes when the user clicks elsewhere only if its owner is in front.
    SetForegroundWindow(window_.handle());
    const UINT alignment =
        GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
    const UINT chosen = static_cast<UINT>(TrackPopupMenuEx(
        menu.get(), TPM_RETURNCMD | TPM_NONOTIFY | TPM_RIGHTBUTTON | TPM_BOTTOMALIGN | alignment,
        at.x, at.y, window_.handle(), nullptr));
    PostMessageW(window_.handle(), WM_NULL, 0, 0);
    perform(chosen);
}

void Corvane_ClientApp::perform(UINT command) {
    if (command == about) {
        showWindow(aboutWindowGroup);
    } else if (command == quit) {
        terminateApplication();
    }
}

std::optional<LRESULT> Corvane_ClientApp::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == taskbarCreated_) {
        addIcon();
        return 0;
    }
    switch (message) {
        case iconMessage:
            switch (LOWORD(lParam)) {
                // A click opens the menu too, as a menu-bar item does.
                case WM_CONTEXTMENU:
                case NIN_SELECT:
                case NIN_KEYSELECT:
                    openMenu({GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)});
                    break;
                default:
                    break;
            }
            return 0;
        case statusChangedMessage:
            showStatus();
            return 0;
        case WM_COMMAND:
            perform(LOWORD(wParam));
            return 0;
        default:
            return std::nullopt;
    }
}

void Corvane_ClientApp::showWindow(const std::wstring& id) {
    std::erase_if(aboutWindows_, [](const auto& window) { return window->handle() == nullptr; });
    bool found = false;
    for (const std::unique_ptr<AboutView>& window : aboutWindows_) {
        if (window->identifier().starts_with(id)) {
            window->bringForward();
            found = true;
        }
    }
    if (!found) {
        openOwnWindow(id);
    }
}

bool Corvane_ClientApp::hasVisibleWindows() const {
    return std::ranges::any_of(aboutWindows_, [](const auto& window) {
        return window->handle() != nullptr && IsWindowVisible(window->handle());
    });
}

void Corvane_ClientApp::openOwnWindow(const std::wstring& groupId) {
    if (groupId != aboutWindowGroup) {
        return;
    }
    auto window =
        std::make_unique<AboutView>(groupId + L"-" + std::to_wstring(++aboutWindowsOpened_));
    window->bringForward();
    aboutWindows_.push_back(std::move(window));
}

}  // namespace corvane::win32
