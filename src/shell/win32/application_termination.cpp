#include "shell/win32/application_termination.h"

#include <windows.h>

namespace corvane::win32 {

void terminateApplication() {
    PostQuitMessage(0);
}

}  // namespace corvane::win32
