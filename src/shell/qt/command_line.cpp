#include "shell/qt/command_line.h"

#include <QCommandLineParser>
#include <iostream>

namespace corvane {

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

CommandLineRequest refuse(const QString& reason) {
    return {CommandLineRequest::Action::refuse,
            QStringLiteral("corvane-client: %1 Try corvane-client --help.").arg(reason),
            {}};
}

}  // namespace

CommandLineRequest readCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption discovery(QStringLiteral("discovery"), {}, QStringLiteral("how"));
    const QCommandLineOption interfaces(QStringLiteral("interfaces"), {}, QStringLiteral("names"));
    parser.addOptions({help, version, discovery, interfaces});
    if (!parser.parse(arguments)) {
        return refuse(parser.errorText());
    }
    const bool alone = parser.optionNames().size() == 1 && parser.positionalArguments().isEmpty();
    if (parser.isSet(version)) {
        return alone ? CommandLineRequest{CommandLineRequest::Action::showVersion,
                                          QStringLiteral("corvane-client " CORVANE_VERSION "\n"),
                                          {}}
                     : refuse(QStringLiteral("--version takes no other arguments."));
    }
    if (parser.isSet(help)) {
        return alone ? CommandLineRequest{CommandLineRequest::Action::showHelp,
                                          QString::fromUtf8(helpText),
                                          {}}
                     : refuse(QStringLiteral("--help takes no other arguments."));
    }
    if (!parser.positionalArguments().isEmpty()) {
        return refuse(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    }
    CommandLineRequest run{CommandLineRequest::Action::run, {}, {}};
    if (parser.values(discovery).size() > 1 || parser.values(interfaces).size() > 1) {
        return refuse(QStringLiteral("--discovery and --interfaces are given once each."));
    }
    if (parser.isSet(interfaces)) {
        for (const QString& name : parser.value(interfaces).split(',')) {
            if (name.isEmpty()) {
                return refuse(QStringLiteral(
                    "--interfaces takes names of network interfaces, separated by commas."));
            }
            run.discovery.interfaces.push_back(name.toStdString());
        }
        run.discovery.kind = DiscoveryChoice::Kind::builtin;
    }
    if (parser.isSet(discovery)) {
        const QString how = parser.value(discovery);
        if (how == QStringLiteral("avahi") && parser.isSet(interfaces)) {
            return refuse(
                QStringLiteral("--interfaces is for the built-in browser; "
                               "avahi-daemon has allow-interfaces in its own file."));
        }
        if (how == QStringLiteral("avahi")) {
            run.discovery.kind = DiscoveryChoice::Kind::avahi;
        } else if (how == QStringLiteral("builtin")) {
            run.discovery.kind = DiscoveryChoice::Kind::builtin;
        } else {
            return refuse(QStringLiteral("--discovery takes avahi or builtin, not '%1'.").arg(how));
        }
    }
    return run;
}

std::optional<int> answerCommandLine(int argc, char* argv[], CommandLineRequest& request) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    request = readCommandLine(arguments);
    switch (request.action) {
        case CommandLineRequest::Action::run:
            return std::nullopt;
        case CommandLineRequest::Action::showHelp:
        case CommandLineRequest::Action::showVersion:
            std::cout << request.text.toStdString() << std::flush;
            return 0;
        case CommandLineRequest::Action::refuse:
            std::cerr << request.text.toStdString() << std::endl;
            return 2;
    }
    return 2;
}

}  // namespace corvane
