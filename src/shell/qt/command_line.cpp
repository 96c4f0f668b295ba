#include "shell/qt/command_line.h"

#include <QCommandLineParser>
#include <iostream>

namespace corvane {

namespace {

constexpr auto helpText = R"(Usage: corvane-client [--help | --version]

Finds the peers that advertise _corvane2._tcp on the local network through avahi-daemon,
keeps a connection to each, and types the commands they send as keystrokes into the
frontmost music-notation program. Runs as a tray icon in an X11 session. Launched again
while it runs, it shows the running one's About window.

Options:
  -h, --help     show this text and exit
  -v, --version  show the version and exit

See corvane-client(1) for more.
)";

CommandLineRequest refuse(const QString& reason) {
    return {CommandLineRequest::Action::refuse,
            QStringLiteral("corvane-client: %1 Try corvane-client --help.").arg(reason)};
}

}  // namespace

CommandLineRequest readCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOptions({help, version});
    if (!parser.parse(arguments)) {
        return refuse(parser.errorText());
    }
    const bool alone = parser.optionNames().size() == 1 && parser.positionalArguments().isEmpty();
    if (parser.isSet(version)) {
        return alone ? CommandLineRequest{CommandLineRequest::Action::showVersion,
                                          QStringLiteral("corvane-client " CORVANE_VERSION "\n")}
                     : refuse(QStringLiteral("--version takes no other arguments."));
    }
    if (parser.isSet(help)) {
        return alone ? CommandLineRequest{CommandLineRequest::Action::showHelp,
                                          QString::fromUtf8(helpText)}
                     : refuse(QStringLiteral("--help takes no other arguments."));
    }
    if (!parser.positionalArguments().isEmpty()) {
        return refuse(
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    }
    return {CommandLineRequest::Action::run, {}};
}

std::optional<int> answerCommandLine(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.append(QString::fromLocal8Bit(argv[i]));
    }
    const CommandLineRequest request = readCommandLine(arguments);
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
