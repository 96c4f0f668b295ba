#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "shell/win32/hidden_window.h"

namespace corvane::win32 {

// Keeps one running program per user session. The first launch holds a named mutex for
// its whole life, and a hidden window of the same name that later launches find; a later
// launch asks that window to reopen the program instead of starting. Windows drops the
// mutex with a process that crashed, so nothing stale is left behind.
class SingleInstance {
  public:
    enum class Claim {
        // This process is the running instance; reopen requests come to `onReopen`.
        running,
        // Another instance runs and has been asked to reopen.
        reopenedOther,
        // Another instance holds the mutex but has no window to ask (it is ending).
        otherNotAnswering,
    };

    // `name` tells programs apart ("Corvane Client"); tests use names of their own.
    SingleInstance(std::wstring name, std::function<void()> onReopen);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Claim claim();

  private:
    std::optional<LRESULT> handle(UINT message);

    const std::wstring name_;
    const std::function<void()> onReopen_;
    const UINT reopenMessage_;
    // Made before the mutex is taken, so a launch that finds the mutex finds the window.
    HiddenWindow window_;
    HANDLE mutex_ = nullptr;
};

}  // namespace corvane::win32
