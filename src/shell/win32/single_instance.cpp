#include "shell/win32/single_instance.h"

#include <utility>

namespace corvane::win32 {

SingleInstance::SingleInstance(std::wstring name, std::function<void()> onReopen)
    : name_(std::move(name)),
      onReopen_(std::move(onReopen)),
      reopenMessage_(RegisterWindowMessageW(L"CorvaneClientReopen")),
      window_(HiddenWindow::Kind::topLevel, name_.c_str(),
              [this](UINT message, WPARAM, LPARAM) { return handle(message); }) {
    // A later launch may run at another level (elevated) than this one.
    ChangeWindowMessageFilterEx(window_.handle(), reopenMessage_, MSGFLT_ALLOW, nullptr);
}

SingleInstance::~SingleInstance() {
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

std::optional<LRESULT> SingleInstance::handle(UINT message) {
    if (message != reopenMessage_ || mutex_ == nullptr) {
        return std::nullopt;
    }
    onReopen_();
    return 0;
}

SingleInstance::Claim SingleInstance::claim() {
    // One per session (a user may be logged on more than once).
    const std::wstring mutexName = L"Local\\" + name_;
    mutex_ = CreateMutexW(nullptr, FALSE, mutexName.c_str());
    if (mutex_ != nullptr && GetLastError() != ERROR_ALREADY_EXISTS) {
        return Claim::running;
    }
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
        mutex_ = nullptr;
    }
    for (HWND other = nullptr;
         (other = FindWindowExW(nullptr, other, HiddenWindow::className(), name_.c_str()));) {
        if (other == window_.handle()) {
            continue;
        }
        // The running one may then bring its About window in front of this launch's caller.
        DWORD processId = 0;
        GetWindowThreadProcessId(other, &processId);
        AllowSetForegroundWindow(processId);
        if (PostMessageW(other, reopenMessage_, 0, 0)) {
            return Claim::reopenedOther;
        }
    }
    return Claim::otherNotAnswering;
}

}  // namespace corvane::win32
