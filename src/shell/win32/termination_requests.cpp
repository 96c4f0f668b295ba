#include "shell/win32/termination_requests.h"

#include <atomic>
#include <utility>

#include "shell/win32/application_termination.h"

namespace corvane::win32 {

namespace {

constexpr UINT quitRequestMessage = WM_APP + 1;

// The console's control handler runs on a thread of its own, possibly while the program
// is ending: it only posts to this window, and a window already gone ignores the post.
std::atomic<HWND> requestWindow{nullptr};
// Set once the program has shut down, for a console being closed, which ends the process
// as soon as the handler returns.
HANDLE endedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);

}  // namespace

TerminationRequests::TerminationRequests(std::function<void()> endNow)
    : endNow_(std::move(endNow)),
      window_(HiddenWindow::Kind::topLevel, L"Corvane Client session",
              [this](UINT message, WPARAM wParam, LPARAM) { return handle(message, wParam); }) {
    requestWindow = window_.handle();
    SetConsoleCtrlHandler(&TerminationRequests::consoleControl, TRUE);
}

TerminationRequests::~TerminationRequests() {
    requestWindow = nullptr;
    SetEvent(endedEvent);
}

BOOL WINAPI TerminationRequests::consoleControl(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            PostMessageW(requestWindow, quitRequestMessage, 0, 0);
            return TRUE;
        case CTRL_CLOSE_EVENT:
            PostMessageW(requestWindow, quitRequestMessage, 0, 0);
            // Windows allows five seconds before it ends the process anyway.
            WaitForSingleObject(endedEvent, 4000);
            return TRUE;
        default:
            return FALSE;
    }
}

std::optional<LRESULT> TerminationRequests::handle(UINT message, WPARAM wParam) {
    switch (message) {
        case quitRequestMessage:
        case WM_CLOSE:
            terminateApplication();
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            if (wParam != FALSE) {
                endNow_();
                terminateApplication();
            }
            return 0;
        default:
            return std::nullopt;
    }
}

}  // namespace corvane::win32
