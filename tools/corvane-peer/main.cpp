// corvane-peer: a peer for trying the client out. Advertises "_corvane2._tcp", accepts
// clients and sends them command words; prints one line per event.

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <variant>
#include <vector>

#include "command_words.h"
#include "peer_server.h"
#include "platform.h"

namespace {

using corvane::peer::PeerServer;

constexpr const char* usage = R"(Usage: corvane-peer [options] NAME [WORD...]

Advertises the service NAME of type _corvane2._tcp (on Linux through avahi-daemon, on
Windows by a multicast DNS responder of its own), accepts any number of clients and
sends them command words: 4 bytes each, least significant byte first.

WORDs are hex numbers (0x10001249 or 10001249). Given as arguments, they are sent to
each client as it connects. Without WORD arguments they are read from standard input
(one per line or separated by spaces) and sent to every client connected at the time,
or to the first client to come when there is none.

Options:
  --port N        listen on TCP port N (default: any free port)
  --any           listen on every IPv4 address (0.0.0.0) instead of 127.0.0.1
  --listen ADDR   listen on the IPv4 or IPv6 address ADDR instead of 127.0.0.1;
                  repeat it to listen on several addresses (on one port)
  --interval MS   send one word every MS milliseconds instead of all at once
  --count N       send the WORD list N times (default 1; 0: without end, needs --interval)
  --interfaces NAME,...
                  (Windows) advertise on these network interfaces only (default: every
                  one that can multicast, loopback left out)
  --ttl S         (Linux) advertise records that live S seconds instead of Avahi's 120 s
                  and 75 min, so that clients forget this peer sooner once it vanishes
                  without a goodbye
  --help          show this text
  --version       show the version

Output, one line each, flushed: "listening on ADDRESS:PORT", "ready: advertising ...",
"client connected ADDRESS:PORT", "client disconnected ADDRESS:PORT", and
"keep-alive 0xNN from ADDRESS:PORT" for every byte a client sends.
)";

void say(const std::string& line) {
    std::cout << line << std::endl;
}

template <typename Number>
std::optional<Number> number(const std::string& text) {
    Number value{};
    const auto [last, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || last != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

struct Settings {
    std::string name;
    std::vector<std::string> interfaces;
    std::uint16_t port = 0;
    std::uint32_t ttl = 0;  // Avahi's own lives
    std::vector<asio::ip::address> listenOn;
    PeerServer::Script script;
    bool wordsFromInput = true;
};

// The settings, or why the arguments make no sense.
using Parsed = std::variant<Settings, std::string>;

Parsed parse(int argc, char** argv) {
    Settings settings;
    std::string words;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "--version") {
            return argument + " takes no other arguments.";
        }
        const bool takesValue = argument == "--listen" || argument == "--port" ||
                                argument == "--interval" || argument == "--count" ||
                                argument == "--interfaces" || argument == "--ttl";
        if (takesValue && i + 1 == argc) {
            return argument + " needs a value.";
        }
        if (argument == "--any") {
            settings.listenOn.push_back(asio::ip::address_v4::any());
        } else if (argument == "--listen") {
            std::error_code error;
            settings.listenOn.push_back(asio::ip::make_address(argv[++i], error));
            if (error) {
                return "--listen takes an IPv4 or IPv6 address.";
            }
        } else if (argument == "--port") {
            const auto port = number<std::uint16_t>(argv[++i]);
            if (!port) {
                return "--port takes a number from 0 to 65535.";
            }
            settings.port = *port;
        } else if (argument == "--interval") {
            const auto interval = number<unsigned>(argv[++i]);
            if (!interval) {
                return "--interval takes a number of milliseconds.";
            }
            settings.script.interval = std::chrono::milliseconds(*interval);
        } else if (argument == "--count") {
            const auto count = number<unsigned>(argv[++i]);
            if (!count) {
                return "--count takes a number.";
            }
            settings.script.rounds = *count;
        } else if (argument == "--interfaces") {
            if (!corvane::peer::interfacesChoosable) {
                return "--interfaces is for Windows; avahi-daemon has allow-interfaces in its own "
                       "file.";
            }
            std::string names = argv[++i];
            for (std::size_t start = 0, comma = 0; comma != std::string::npos; start = comma + 1) {
                comma = names.find(',', start);
                settings.interfaces.push_back(names.substr(start, comma - start));
                if (settings.interfaces.back().empty()) {
                    return "--interfaces takes names of network interfaces, separated by commas.";
                }
            }
        } else if (argument == "--ttl") {
            if (corvane::peer::interfacesChoosable) {
                return "--ttl is for Linux: this peer's own responder gives its records fixed "
                       "lives.";
            }
            const auto ttl = number<std::uint32_t>(argv[++i]);
            if (!ttl || *ttl == 0) {
                return "--ttl takes a number of seconds from 1.";
            }
            settings.ttl = *ttl;
        } else if (argument.starts_with("-") && argument != "-") {
            return "Unknown option '" + argument + "'.";
        } else if (settings.name.empty()) {
            settings.name = argument;
        } else {
            words += argument + " ";
            settings.wordsFromInput = false;
        }
    }
    const auto parsed = corvane::peer::parseCommandWords(words);
    if (settings.name.empty()) {
        return "The service NAME is missing.";
    }
    if (!parsed) {
        return "A WORD is not a 32-bit hex number.";
    }
    if (settings.script.rounds == 0 && settings.script.interval.count() == 0) {
        return "--count 0 needs --interval.";
    }
    settings.script.words = *parsed;
    if (settings.listenOn.empty()) {
        settings.listenOn.push_back(asio::ip::address_v4::loopback());
    }
    return settings;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && argv[1] == std::string_view("--help")) {
        std::cout << usage;
        return 0;
    }
    if (argc == 2 && argv[1] == std::string_view("--version")) {
        std::cout << "corvane-peer " CORVANE_VERSION "\n";
        return 0;
    }
    const Parsed parsed = parse(argc, argv);
    if (const auto* reason = std::get_if<std::string>(&parsed)) {
        std::cerr << "corvane-peer: " << *reason << " Try corvane-peer --help." << std::endl;
        return 2;
    }
    const Settings& settings = std::get<Settings>(parsed);
    corvane::peer::prepareStandardStreams();
    asio::io_context loop;
    std::optional<PeerServer> listening;
    try {
        listening.emplace(loop, settings.listenOn, settings.port, settings.script, say);
    } catch (const std::system_error& error) {
        std::cerr << "corvane-peer: " << error.what() << "." << std::endl;
        return 2;
    }
    PeerServer& server = *listening;
    for (const asio::ip::address& address : settings.listenOn) {
        say("listening on " + address.to_string() + ":" + std::to_string(server.port()));
    }
    const auto advertisement = corvane::peer::advertise(
        loop, {settings.name, "_corvane2._tcp", server.port(), settings.interfaces, settings.ttl},
        say);
    std::optional<corvane::peer::LineInput> input;
    if (settings.wordsFromInput) {
        input.emplace(loop, [&server](const std::string& line) {
            if (const auto words = corvane::peer::parseCommandWords(line)) {
                server.broadcast(*words);
            } else {
                say("not a command word: " + line.substr(0, line.find_last_not_of("\r\n") + 1));
            }
        });
    }

    asio::signal_set stop(loop, SIGINT, SIGTERM);
#ifdef SIGBREAK
    stop.add(SIGBREAK);  // Ctrl+Break in a Windows console
#endif
    stop.async_wait([&](const std::error_code&, int) {
        server.close();
        loop.stop();
    });
    loop.run();
    return 0;
}
