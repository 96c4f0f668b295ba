#include "support/win32/key_recorder_process.h"

#include "support/wait_until.h"

namespace corvane::testing {

KeyRecorderProcess::KeyRecorderProcess(const std::wstring& fileName) {
    directory_ = std::filesystem::temp_directory_path() /
                 ("corvane-recorder-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(directory_);
    const std::filesystem::path program = directory_ / fileName;
    std::filesystem::copy_file(KEY_RECORDER_PATH, program,
                               std::filesystem::copy_options::overwrite_existing);
    const std::wstring lines = (directory_ / L"lines.txt").wstring();
    constexpr DWORD shared = FILE_SHARE_READ | FILE_SHARE_WRITE;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE written =
        CreateFileW(lines.c_str(), GENERIC_WRITE, shared, &inherited, CREATE_ALWAYS, 0, nullptr);
    output_ = CreateFileW(lines.c_str(), GENERIC_READ, shared, nullptr, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = written;
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    const bool started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &startup, &process_);
    CloseHandle(written);
    std::optional<std::string> line;
    while (started && (line = nextLine(std::chrono::seconds(30))) && *line != "ready") {
    }
    ready_ = line && waitUntil(
                         [this] {
                             DWORD owner = 0;
                             GetWindowThreadProcessId(GetForegroundWindow(), &owner);
                             return owner == process_.dwProcessId;
                         },
                         std::chrono::seconds(20));
    // It may first be told of the locks as they are, with messages of their own.
    const MessagesToMarker first = ready_ ? messagesReceived() : MessagesToMarker{};
    ready_ = ready_ && (first.messages.empty() || first.messages.back().name != "marker-missing");
}

KeyRecorderProcess::~KeyRecorderProcess() {
    if (process_.hProcess != nullptr) {
        TerminateProcess(process_.hProcess, 0);
        WaitForSingleObject(process_.hProcess, INFINITE);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    CloseHandle(output_);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::optional<std::string> KeyRecorderProcess::nextLine(std::chrono::milliseconds timeout) {
    std::size_t end = std::string::npos;
    waitUntil(
        [&] {
            char buffer[4096];
            DWORD count = 0;
            while (ReadFile(output_, buffer, sizeof buffer, &count, nullptr) && count > 0) {
                unread_.append(buffer, count);
            }
            return (end = unread_.find('\n')) != std::string::npos;
        },
        timeout);
    if (end == std::string::npos) {
        return std::nullopt;
    }
    std::string line = unread_.substr(0, end);
    unread_.erase(0, end + 1);
    return line;
}

MessagesToMarker KeyRecorderProcess::messagesReceived() {
    INPUT marker[2]{};
    for (INPUT& input : marker) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = markerVirtualKey;
        input.ki.wScan = markerScanCode;
    }
    marker[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, marker, sizeof(INPUT));
    return messagesToMarker([this] { return nextLine(std::chrono::seconds(10)); });
}

}  // namespace corvane::testing
