#pragma once

#include <windows.h>

namespace corvane::win32 {

// Windows marked with this property take Tab, Enter and Escape as a dialog does.
inline constexpr const wchar_t* dialogKeysProperty = L"CorvaneClientDialogKeys";

// Dispatches the thread's messages until the program is asked to end; returns its exit code.
int runMessageLoop();

}  // namespace corvane::win32
