#include "shell/win32/program_log.h"

#include <shlobj.h>

#include <array>
#include <cstdio>
#include <string>

namespace corvane::win32 {

namespace {

constexpr std::uintmax_t rotateAt = 1024 * 1024;

std::wstring wide(std::string_view utf8) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                        length);
    return text;
}

std::string localTime() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04u-%02u-%02u %02u:%02u:%02u ", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text.data();
}

bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

}  // namespace

std::filesystem::path ProgramLog::defaultFile() {
    PWSTR folder = nullptr;
    std::filesystem::path file;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
        file = std::filesystem::path(folder) / L"Corvane Client" / L"corvane-client.log";
    }
    CoTaskMemFree(folder);
    return file;
}

ProgramLog::ProgramLog(const std::filesystem::path& file) {
    openConsole();
    if (file.empty()) {
        return;
    }
    std::error_code ignored;
    std::filesystem::create_directories(file.parent_path(), ignored);
    if (std::filesystem::file_size(file, ignored) > rotateAt && !ignored) {
        std::filesystem::path old = file;
        old += L".old";
        std::filesystem::rename(file, old, ignored);
    }
    // Appends of whole lines, which other programs may read (and delete) meanwhile.
    file_ = CreateFileW(file.c_str(), FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ProgramLog::~ProgramLog() {
    stream_.flush();
    if (usable(file_)) {
        CloseHandle(file_);
    }
}

void ProgramLog::openConsole() {
    // Output redirected by whoever started the program comes first; else the console of
    // the command prompt it was started from, if any.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!usable(output) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    }
    if (!usable(output)) {
        return;
    }
    DWORD mode = 0;
    consoleIsTerminal_ = GetConsoleMode(output, &mode) != 0;
    console_ = output;
}

void ProgramLog::write(std::string_view line) {
    const std::string stamped = localTime() + std::string(line) + "\r\n";
    const std::lock_guard lock(mutex_);
    DWORD written = 0;
    if (usable(file_)) {
        WriteFile(file_, stamped.data(), static_cast<DWORD>(stamped.size()), &written, nullptr);
    }
    OutputDebugStringW(wide(std::string(line) + "\n").c_str());
    toConsole(std::string(line) + "\n");
}

bool ProgramLog::print(std::string_view text) {
    const std::lock_guard lock(mutex_);
    toConsole(text);
    return console_ != nullptr;
}

void ProgramLog::toConsole(std::string_view text) {
    DWORD written = 0;
    if (console_ == nullptr) {
        return;
    }
    if (consoleIsTerminal_) {
        const std::wstring characters = wide(text);
        WriteConsoleW(console_, characters.data(), static_cast<DWORD>(characters.size()), &written,
                      nullptr);
    } else {
        WriteFile(console_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

ProgramLog::LineBuffer::int_type ProgramLog::LineBuffer::overflow(int_type character) {
    if (character == traits_type::eof()) {
        return traits_type::not_eof(character);
    }
    const char text = traits_type::to_char_type(character);
    if (text != '\n') {
        line_ += text;
    } else {
        log_.write(line_);
        line_.clear();
    }
    return character;
}

}  // namespace corvane::win32
