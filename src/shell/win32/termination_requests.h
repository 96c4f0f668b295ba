#pragma once

#include <windows.h>

#include <functional>

#include "shell/win32/hidden_window.h"

namespace corvane::win32 {

// Ends the program as Quit does when it is asked from outside: Ctrl+C, Ctrl+Break or
// closing the console it was started from, a request to close its windows (taskkill, an
// installer), and the end of the Windows session. Windows ends the process once
// WM_ENDSESSION has been answered, so `endNow` does the whole shutdown before the answer;
// the message loop then returns too. One per process.
class TerminationRequests {
  public:
    explicit TerminationRequests(std::function<void()> endNow);
    ~TerminationRequests();
    TerminationRequests(const TerminationRequests&) = delete;
    TerminationRequests& operator=(const TerminationRequests&) = delete;

    // The window that gets the session's messages.
    HWND window() const { return window_.handle(); }

  private:
    static BOOL WINAPI consoleControl(DWORD event);
    std::optional<LRESULT> handle(UINT message, WPARAM);

    const std::function<void()> endNow_;
    HiddenWindow window_;
};

}  // namespace corvane::win32
