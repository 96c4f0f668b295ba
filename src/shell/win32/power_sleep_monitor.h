#pragma once

#include <windows.h>

#include <chrono>

#include "shell/notification_center.h"
#include "shell/win32/hidden_window.h"

namespace corvane::win32 {

// Feeds the workspace center with the system's suspend and resume (WM_POWERBROADCAST,
// registered for, so that Modern Standby machines send it too). The suspend is
// acknowledged only once the will-sleep observer has called the notification's completion
// (connections closed), or after maxSleepDelay at the latest, since Windows allows about
// two seconds; the thread's messages are dispatched meanwhile, so the work can be done.
class PowerSleepMonitor {
  public:
    static constexpr std::chrono::milliseconds defaultMaxSleepDelay{1000};

    explicit PowerSleepMonitor(NotificationCenter& workspaceCenter,
                               std::chrono::milliseconds maxSleepDelay = defaultMaxSleepDelay);
    ~PowerSleepMonitor();
    PowerSleepMonitor(const PowerSleepMonitor&) = delete;
    PowerSleepMonitor& operator=(const PowerSleepMonitor&) = delete;

    // The window that gets the power messages.
    HWND window() const { return window_.handle(); }

  private:
    std::optional<LRESULT> handle(UINT message, WPARAM);
    void suspend();

    NotificationCenter& workspaceCenter_;
    const std::chrono::milliseconds maxSleepDelay_;
    bool suspending_ = false;
    HiddenWindow window_;
    HPOWERNOTIFY registration_ = nullptr;
};

}  // namespace corvane::win32
