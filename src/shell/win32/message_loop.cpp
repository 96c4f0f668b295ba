#include "shell/win32/message_loop.h"

namespace corvane::win32 {

int runMessageLoop() {
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        const HWND active = GetActiveWindow();
        if (active != nullptr && GetPropW(active, dialogKeysProperty) != nullptr &&
            IsDialogMessageW(active, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace corvane::win32
