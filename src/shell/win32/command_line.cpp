#include "shell/win32/command_line.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace corvane::win32 {
namespace {

constexpr auto helpText =
    R"(Usage: corvane-client [--interfaces=NAME,...]
       corvane-client --help | --version

Finds the peers that advertise _corvane2._tcp on the local network, keeps a connection to
each, and types the commands they send as keystrokes into the music-notation program in
front. Runs as an icon in the notification area. Launched again while it runs, it shows
the running one's About window.

Peers are found by a multicast DNS browser built in, which only asks and never
advertises; the log says on which network interfaces.

Options:
  --interfaces=NAME,...
                       ask on these network interfaces only, named as Windows shows
                       them ("Ethernet", "Wi-Fi")
  -h, --help           show this text and exit
  -v, --version        show the version and exit

The log is %LOCALAPPDATA%\Corvane Client\corvane-client.log.
)";

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string converted(static_cast<std::size_t>(std::max(size, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    converted.pop_back();  // the terminating zero
    return converted;
}

std::vector<std::string> arguments() {
    int count = 0;
    wchar_t** each = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> converted;
    for (int i = 0; each != nullptr && i < count; ++i) {
        converted.push_back(utf8(each[i]));
    }
    LocalFree(each);
    return converted;
}

void showInMessageBox(const std::string& text, UINT icon) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), size);
    MessageBoxW(nullptr, wide.c_str(), L"Corvane Client", MB_OK | icon);
}

}  // namespace

std::optional<int> answerCommandLine(ProgramLog& log, CommandLineRequest& request) {
    request = readCommandLine(arguments(), {helpText, false});
    switch (request.action) {
        case CommandLineRequest::Action::run:
            return std::nullopt;
        case CommandLineRequest::Action::showHelp:
        case CommandLineRequest::Action::showVersion:
            if (!log.print(request.text)) {
                showInMessageBox(request.text, MB_ICONINFORMATION);
            }
            return 0;
        case CommandLineRequest::Action::refuse:
            log.write(request.text);
            if (!log.hasConsole()) {
                showInMessageBox(request.text, MB_ICONERROR);
            }
            return 2;
    }
    return 2;
}

}  // namespace corvane::win32
