#include "support/win32/key_recorder_process.h"

#include "support/wait_until.h"

namespace corvane::testing {

namespace {

void sendMarkerKey() {
    INPUT inputs[2]{};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = markerVirtualKey;
        input.ki.wScan = markerScanCode;
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, inputs, sizeof(INPUT));
}

}  // namespace

KeyRecorderProcess::KeyRecorderProcess(const std::wstring& fileName) {
    directory_ = std::filesystem::temp_directory_path() /
                 ("corvane-recorder-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(directory_);
    const std::filesystem::path program = directory_ / fileName;
    std::filesystem::copy_file(KEY_RECORDER_PATH, program,
                               std::filesystem::copy_options::overwrite_existing);

    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE write = nullptr;
    if (!CreatePipe(&output_, &write, &inherited, 0)) {
        return;
    }
    SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    std::wstring commandLine = L"\"" + program.wstring() + L"\"";
    const bool started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        0, nullptr, nullptr, &startup, &process_);
    CloseHandle(write);  // the pipe ends when the recorder does
    if (!started) {
        return;
    }
    reader_ = std::thread([this] {
        std::string pending;
        char buffer[4096];
        DWORD count = 0;
        while (ReadFile(output_, buffer, sizeof buffer, &count, nullptr) && count > 0) {
            pending.append(buffer, count);
            for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
                const std::lock_guard lock(mutex_);
                lines_.push_back(pending.substr(0, end));
                pending.erase(0, end + 1);
                changed_.notify_all();
            }
        }
        const std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    });

    std::optional<std::string> line;
    while ((line = nextLine(std::chrono::seconds(30))) && *line != "ready") {
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
    if (reader_.joinable()) {
        reader_.join();
    }
    if (output_ != nullptr) {
        CloseHandle(output_);
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

std::optional<std::string> KeyRecorderProcess::nextLine(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [this] { return !lines_.empty() || ended_; }) ||
        lines_.empty()) {
        return std::nullopt;
    }
    std::string line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

std::optional<WindowsMessage> KeyRecorderProcess::nextMessage(std::chrono::milliseconds timeout) {
    while (const std::optional<std::string> line = nextLine(timeout)) {
        if (std::optional<WindowsMessage> message = parseWindowsMessage(*line)) {
            return message;
        }
    }
    return std::nullopt;
}

MessagesToMarker KeyRecorderProcess::messagesReceived() {
    sendMarkerKey();
    return messagesToMarker([this] { return nextMessage(std::chrono::seconds(10)); });
}

}  // namespace corvane::testing
