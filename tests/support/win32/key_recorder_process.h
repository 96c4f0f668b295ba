#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/windows_messages.h"

namespace corvane::testing {

// The Win32 key recorder (KEY_RECORDER_PATH) started from a Windows program, run as
// `fileName` (e.g. L"Sibelius.exe") in front of every other window. Its lines are read on a
// thread of their own, so it never waits for a full pipe. Ends it and removes its copy.
class KeyRecorderProcess {
  public:
    explicit KeyRecorderProcess(const std::wstring& fileName);
    ~KeyRecorderProcess();
    KeyRecorderProcess(const KeyRecorderProcess&) = delete;
    KeyRecorderProcess& operator=(const KeyRecorderProcess&) = delete;

    // True once its window is the foreground window and takes keys.
    bool ready() const { return ready_; }
    // The next message it printed; nothing when none comes within `timeout`.
    std::optional<WindowsMessage> nextMessage(std::chrono::milliseconds timeout);
    // The messages up to the marker key, sent now with SendInput behind whatever was sent
    // before it, so none on its way is missed.
    MessagesToMarker messagesReceived();

  private:
    std::optional<std::string> nextLine(std::chrono::milliseconds timeout);

    std::filesystem::path directory_;
    PROCESS_INFORMATION process_{};
    HANDLE output_ = nullptr;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> lines_;
    bool ended_ = false;
    bool ready_ = false;
};

}  // namespace corvane::testing
