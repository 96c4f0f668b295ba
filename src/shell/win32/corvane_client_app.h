#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "network/observation.h"
#include "shell/connection_status.h"
#include "shell/notification_center.h"
#include "shell/win32/about_view.h"
#include "shell/win32/hidden_window.h"
#include "shell/win32/icon_images.h"

namespace corvane::win32 {

struct MenuDeleter {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using MenuHandle = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

// The program's user interface on Windows: an icon in the taskbar's notification area that
// shows whether a peer is connected, its menu (status, About, Quit), and the About windows.
// The icon comes back when Explorer starts again. Belongs to the main thread.
class Corvane_ClientApp {
  public:
    // The id of the About windows' group.
    static constexpr const wchar_t* aboutWindowGroup = L"about";
    // The menu's commands.
    enum Command : UINT { statusLine = 1, about, quit };

    Corvane_ClientApp(ConnectionStatus& status, NotificationCenter& defaultCenter);
    ~Corvane_ClientApp();
    Corvane_ClientApp(const Corvane_ClientApp&) = delete;
    Corvane_ClientApp& operator=(const Corvane_ClientApp&) = delete;

    // Brings every window whose identifier begins with `id` forward, the last one ending
    // active; opens a new window of group `id` when there is none.
    void showWindow(const std::wstring& id);
    bool hasVisibleWindows() const;

    // The menu as it opens now.
    MenuHandle makeMenu() const;
    // The icon last given to the taskbar (with or without the dot).
    HICON iconInTaskbar() const { return iconInTaskbar_; }
    // The window that gets the icon's and the taskbar's messages.
    HWND window() const { return window_.handle(); }

  private:
    std::optional<LRESULT> handle(UINT message, WPARAM, LPARAM);
    void addIcon();
    void showStatus();
    HICON iconForStatus() const;
    void openMenu(POINT at);
    void perform(UINT command);
    void openOwnWindow(const std::wstring& groupId);

    GraphicsSession graphics_;
    ConnectionStatus& status_;
    const UINT taskbarCreated_;
    IconHandle plainIcon_;
    IconHandle connectedIcon_;
    HICON iconInTaskbar_ = nullptr;
    std::vector<std::unique_ptr<AboutView>> aboutWindows_;
    int aboutWindowsOpened_ = 0;
    HiddenWindow window_;
    ObservationToken statusWillChange_;
    ObservationToken reopen_;
};

}  // namespace corvane::win32
