#include "shell/win32/hidden_window.h"

#include <utility>

namespace corvane::win32 {

HINSTANCE thisModule() {
    return GetModuleHandleW(nullptr);
}

const wchar_t* HiddenWindow::className() {
    static const wchar_t* const name = [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &HiddenWindow::procedure;
        windowClass.hInstance = thisModule();
        // The installer finds a running program by this class and its session window's
        // title (packaging/windows/corvane-client.nsi).
        windowClass.lpszClassName = L"CorvaneClientHiddenWindow";
        RegisterClassExW(&windowClass);
        return windowClass.lpszClassName;
    }();
    return name;
}

HiddenWindow::HiddenWindow(Kind kind, const wchar_t* title, Handler handler)
    : handler_(std::move(handler)) {
    window_ = CreateWindowExW(0, className(), title, WS_OVERLAPPED, 0, 0, 0, 0,
                              kind == Kind::messageOnly ? HWND_MESSAGE : nullptr, nullptr,
                              thisModule(), this);
}

HiddenWindow::~HiddenWindow() {
    if (window_ != nullptr) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

LRESULT CALLBACK HiddenWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<HiddenWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && self->handler_) {
        if (const std::optional<LRESULT> answer = self->handler_(message, wParam, lParam)) {
            return *answer;
        }
    }
    if (message == WM_CLOSE) {
        return 0;  // ends only with its owner, not when another program asks it to close
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace corvane::win32
