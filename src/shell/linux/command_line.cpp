#include "shell/linux/command_line.h"

#include <iostream>

namespace corvane::linux_shell {

namespace {

constexpr auto helpText =
    R"(Usage: corvane-client [--discovery=avahi|builtin] [--interfaces=NAME,...]
       corvane-client --help | --version

Finds the peers that advertise _corvane2._tcp on the local network, keeps a connection to
each, and types the commands they send as keystrokes into the frontmost music-notation
program. Runs as a tray icon in an X11 session. Launched again while it runs, it shows
the running one's About window.

Peers are found through avahi-daemon when it answers, else by a multicast DNS browser
built in, which only asks and never advertises; the first line on standard error says
which.

Options:
  --discovery=avahi    find peers through avahi-daemon only (waiting for it if need be)
  --discovery=builtin  find peers with the built-in browser, even beside avahi-daemon
  --interfaces=NAME,...
                       the built-in browser asks on these network interfaces only
                       (implies --discovery=builtin)
  -h, --help           show this text and exit
  -v, --version        show the version and exit

See corvane-client(1) for more.
)";

}  // namespace

std::optional<int> answerCommandLine(int argc, char* argv[], CommandLineRequest& request) {
    request = readCommandLine(std::vector<std::string>(argv, argv + argc), {helpText, true});
    switch (request.action) {
        case CommandLineRequest::Action::run:
            return std::nullopt;
        case CommandLineRequest::Action::showHelp:
        case CommandLineRequest::Action::showVersion:
            std::cout << request.text << std::flush;
            return 0;
        case CommandLineRequest::Action::refuse:
            std::cerr << request.text << std::endl;
            return 2;
    }
    return 2;
}

}  // namespace corvane::linux_shell
