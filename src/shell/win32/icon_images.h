#pragma once

#include <windows.h>

#include <memory>

namespace corvane::win32 {

// GDI+ for as long as it lives: make one before any icon and keep it while icons are made.
class GraphicsSession {
  public:
    GraphicsSession();
    ~GraphicsSession();
    GraphicsSession(const GraphicsSession&) = delete;
    GraphicsSession& operator=(const GraphicsSession&) = delete;

  private:
    ULONG_PTR token_ = 0;
};

struct IconDeleter {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

// The tray's artwork as a square icon `size` pixels wide: stretched to fill the square,
// and with `connectedDot` a dot in its bottom-right corner, 5/18 of the side across, in
// the artwork's own two colours (a dark fill in a light rim) so it reads on light and
// dark taskbars alike. Null when the image cannot be made.
IconHandle makeTrayIcon(int size, bool connectedDot);

// The application icon, `size` pixels square.
IconHandle makeApplicationIcon(int size);

}  // namespace corvane::win32
