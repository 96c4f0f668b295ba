#pragma once

#include <windows.h>

#include <functional>
#include <optional>

namespace corvane::win32 {

// A window nobody sees, that hands its messages to a handler: top-level, for what Windows
// sends only to top-level windows (broadcasts, power and session messages) and what other
// programs find by title; or message-only, for messages of this program alone. Belongs to
// the thread that made it.
class HiddenWindow {
  public:
    // Answers a message, or leaves it to the default handling (nothing).
    using Handler = std::function<std::optional<LRESULT>(UINT message, WPARAM, LPARAM)>;
    enum class Kind { topLevel, messageOnly };

    HiddenWindow(Kind kind, const wchar_t* title, Handler handler);
    ~HiddenWindow();
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;

    HWND handle() const { return window_; }

    // The window class of every hidden window, for finding one by title.
    static const wchar_t* className();

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM, LPARAM);

    Handler handler_;
    HWND window_ = nullptr;
};

// The module this program (or test) was built into.
HINSTANCE thisModule();

}  // namespace corvane::win32
