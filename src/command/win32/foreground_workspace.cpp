#include "command/win32/foreground_workspace.h"

#include <windows.h>

#include <memory>
#include <string>

namespace corvane::win32 {

namespace {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using ProcessHandle = std::unique_ptr<void, HandleCloser>;

std::optional<std::wstring> imagePath(DWORD processId) {
    const ProcessHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) {
        return std::nullopt;
    }
    // Long paths (up to 32767 characters) are possible where they are enabled.
    std::wstring path(32768, L'\0');
    auto size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &size)) {
        return std::nullopt;
    }
    path.resize(size);
    return path;
}

// The file name of a path, lower-cased as the file system compares names, in UTF-8.
std::optional<std::string> lowerCaseFileName(const std::wstring& path) {
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    if (name.empty()) {
        return std::nullopt;
    }
    const int lowered = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, name.data(),
                                      static_cast<int>(name.size()), name.data(),
                                      static_cast<int>(name.size()), nullptr, nullptr, 0);
    if (lowered != static_cast<int>(name.size())) {
        return std::nullopt;
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), utf8.data(), bytes,
                        nullptr, nullptr);
    return utf8;
}

}  // namespace

std::optional<RunningApplication> ForegroundWorkspace::frontmostApplication() {
    const HWND foreground = GetForegroundWindow();
    if (foreground == nullptr) {
        return std::nullopt;
    }
    DWORD processId = 0;
    if (GetWindowThreadProcessId(foreground, &processId) == 0) {
        return std::nullopt;  // the window went away meanwhile
    }
    const std::optional<std::wstring> path = imagePath(processId);
    return RunningApplication{path ? lowerCaseFileName(*path) : std::nullopt};
}

}  // namespace corvane::win32
