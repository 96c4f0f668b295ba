#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "keystroke/keyboard_layout.h"
#include "keystroke/win32/windows_keyboard_layout.h"

namespace corvane::win32 {

// The keyboard layout of the foreground window's thread (each Windows thread has its own),
// or of this thread when no window is in front. From beginCommand to the matching
// endCommand (they nest) the layout seen at the outer beginCommand serves every question.
class ForegroundKeyboardLayoutSource final : public WindowsKeyboardLayoutSource {
  public:
    std::shared_ptr<WindowsKeyboardLayout> currentWindowsLayout() override;
    void beginCommand() override;
    void endCommand() override;

    // The layout's handle, as the command under way saw it, or now outside a command.
    HKL currentHandle();

  private:
    static HKL look();

    std::map<HKL, std::shared_ptr<WindowsKeyboardLayout>> layouts_;
    int commandDepth_ = 0;
    HKL commandLook_ = nullptr;
};

}  // namespace corvane::win32
