#pragma once

#include <windows.h>

#include <array>
#include <string>

#include "shell/win32/icon_images.h"

namespace corvane::win32 {

// The About window: the application icon, "Corvane Client", the version, two copyright
// lines and a button that quits. 300 pixels wide at 96 DPI (and as much more as the
// monitor's scale asks), as tall as its content; it cannot be resized. Closing it ends the
// window, not the program, which goes on in the tray. Belongs to the main thread.
class AboutView {
  public:
    static constexpr int width = 300;  // at 96 DPI

    // Made hidden; `identifier` names it among the program's windows ("about-1").
    explicit AboutView(std::wstring identifier);
    ~AboutView();
    AboutView(const AboutView&) = delete;
    AboutView& operator=(const AboutView&) = delete;

    const std::wstring& identifier() const { return identifier_; }
    // Null once the user has closed it.
    HWND handle() const { return window_; }
    // Shows it and brings it to the front, with the keyboard focus on its button.
    void bringForward();

    // Lays the window out for `dpi`, keeping its top-left corner.
    void applyDpi(UINT dpi);

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM, LPARAM);
    // Makes the fonts for `dpi`; the caller deletes the ones they replace.
    void makeFonts(UINT dpi);
    // Where the user clicked the notification area's icon, or launched the program again.
    void centreOnMonitorOfCursor();

    std::wstring identifier_;
    HWND window_ = nullptr;
    HWND icon_ = nullptr;
    std::array<HWND, 4> texts_{};  // title, version, two copyright lines
    HWND quit_ = nullptr;
    HFONT textFont_ = nullptr;
    HFONT titleFont_ = nullptr;
    IconHandle image_;
};

}  // namespace corvane::win32
