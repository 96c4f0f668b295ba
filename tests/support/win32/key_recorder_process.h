#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "support/windows_messages.h"

namespace corvane::testing {

// The Win32 key recorder (KEY_RECORDER_PATH) started from a Windows program, run as
// `fileName` (e.g. L"Sibelius.exe") in front of every other window, its lines written to a
// file. Ends it and removes its copy and the file.
class KeyRecorderProcess {
  public:
    explicit KeyRecorderProcess(const std::wstring& fileName);
    ~KeyRecorderProcess();
    KeyRecorderProcess(const KeyRecorderProcess&) = delete;
    KeyRecorderProcess& operator=(const KeyRecorderProcess&) = delete;

    // True once its window is the foreground window and takes keys.
    bool ready() const { return ready_; }
    // The messages up to the marker key, sent now with SendInput behind whatever was sent
    // before it, so none on its way is missed.
    MessagesToMarker messagesReceived();

  private:
    // The next whole line it wrote; nothing when none comes within `timeout`.
    std::optional<std::string> nextLine(std::chrono::milliseconds timeout);

    std::filesystem::path directory_;
    PROCESS_INFORMATION process_{};
    HANDLE output_ = INVALID_HANDLE_VALUE;
    std::string unread_;
    bool ready_ = false;
};

}  // namespace corvane::testing
