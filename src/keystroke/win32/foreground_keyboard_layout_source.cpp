#include "keystroke/win32/foreground_keyboard_layout_source.h"

namespace corvane::win32 {

HKL ForegroundKeyboardLayoutSource::look() {
    const HWND foreground = GetForegroundWindow();
    const DWORD thread = foreground != nullptr ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    return GetKeyboardLayout(thread);
}

HKL ForegroundKeyboardLayoutSource::currentHandle() {
    return commandDepth_ > 0 ? commandLook_ : look();
}

std::shared_ptr<WindowsKeyboardLayout> ForegroundKeyboardLayoutSource::currentWindowsLayout() {
    const HKL handle = currentHandle();
    if (handle == nullptr) {
        return nullptr;
    }
    // A user has a handful of layouts; each keeps what it has learnt of its keys.
    std::shared_ptr<WindowsKeyboardLayout>& layout = layouts_[handle];
    if (!layout) {
        layout =
            std::make_shared<WindowsKeyboardLayout>(std::make_unique<SystemLayoutQueries>(handle));
    }
    return layout;
}

void ForegroundKeyboardLayoutSource::beginCommand() {
    if (commandDepth_++ == 0) {
        commandLook_ = look();
    }
}

void ForegroundKeyboardLayoutSource::endCommand() {
    if (commandDepth_ > 0 && --commandDepth_ == 0) {
        commandLook_ = nullptr;
    }
}

}  // namespace corvane::win32
