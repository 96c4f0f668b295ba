#include "shell/win32/power_sleep_monitor.h"

#include <memory>

#include "shell/obj_c_object.h"

namespace corvane::win32 {

PowerSleepMonitor::PowerSleepMonitor(NotificationCenter& workspaceCenter,
                                     std::chrono::milliseconds maxSleepDelay)
    : workspaceCenter_(workspaceCenter),
      maxSleepDelay_(maxSleepDelay),
      window_(HiddenWindow::Kind::topLevel, L"Corvane Client power",
              [this](UINT message, WPARAM wParam, LPARAM) { return handle(message, wParam); }),
      registration_(
          RegisterSuspendResumeNotification(window_.handle(), DEVICE_NOTIFY_WINDOW_HANDLE)) {}

PowerSleepMonitor::~PowerSleepMonitor() {
    if (registration_ != nullptr) {
        UnregisterSuspendResumeNotification(registration_);
    }
}

std::optional<LRESULT> PowerSleepMonitor::handle(UINT message, WPARAM wParam) {
    if (message != WM_POWERBROADCAST) {
        return std::nullopt;
    }
    if (wParam == PBT_APMSUSPEND) {
        suspend();
    } else if (wParam == PBT_APMRESUMEAUTOMATIC) {
        // Sent on every resume; PBT_APMRESUMESUSPEND follows it only when a user is there.
        workspaceCenter_.post(workspaceDidWakeNotification, this);
    }
    return TRUE;
}

void PowerSleepMonitor::suspend() {
    if (suspending_) {
        return;  // a repeated announcement while the first is being handled
    }
    suspending_ = true;
    const auto done = std::make_shared<bool>(false);
    workspaceCenter_.post(workspaceWillSleepNotification, this, [done] { *done = true; });

    const auto deadline = std::chrono::steady_clock::now() + maxSleepDelay_;
    while (!*done) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left.count()), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        MSG message{};
        while (!*done && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // The program is ending: leave that to the outer loop.
                PostQuitMessage(static_cast<int>(message.wParam));
                suspending_ = false;
                return;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    suspending_ = false;
}

}  // namespace corvane::win32
