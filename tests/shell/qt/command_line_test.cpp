#include <gtest/gtest.h>

#include "shell/qt/command_line.h"

namespace corvane {
namespace {

using Action = CommandLineRequest::Action;

struct Case {
    QStringList arguments;
    Action action;
    // Part of the text that must be there (the whole text for the version).
    QString text;
};

TEST(CommandLineTest, AnswersHelpAndVersionAloneAndRefusesEverythingElseInOneLine) {
    const Case cases[] = {
        {{}, Action::run, {}},
        {{"--help"}, Action::showHelp, "Usage: corvane-client [--discovery=avahi|builtin]"},
        {{"-h"}, Action::showHelp, "-v, --version"},
        {{"--version"}, Action::showVersion, "corvane-client " CORVANE_VERSION "\n"},
        {{"-v"}, Action::showVersion, "corvane-client " CORVANE_VERSION "\n"},
        {{"--frobnicate"}, Action::refuse, "Unknown option 'frobnicate'"},
        {{"-x"}, Action::refuse, "Unknown option 'x'"},
        {{"--version", "extra"}, Action::refuse, "--version takes no other arguments."},
        {{"extra", "--version"}, Action::refuse, "--version takes no other arguments."},
        {{"--version", "--version"}, Action::refuse, "--version takes no other arguments."},
        {{"-hv"}, Action::refuse, "--version takes no other arguments."},
        {{"--help", "--help"}, Action::refuse, "--help takes no other arguments."},
        {{"--help", "-x"}, Action::refuse, "Unknown option 'x'"},
        {{"--version=1"}, Action::refuse, "Unexpected value after '--version'"},
        {{"file.txt"}, Action::refuse, "Unexpected argument 'file.txt'."},
        {{"--discovery=mdns"}, Action::refuse, "--discovery takes avahi or builtin, not 'mdns'."},
        {{"--discovery"}, Action::refuse, "Missing value after '--discovery'."},
        {{"--interfaces=lo,,eth0"}, Action::refuse, "--interfaces takes names of network"},
        {{"--interfaces=lo", "--discovery=avahi"},
         Action::refuse,
         "--interfaces is for the built-in"},
        {{"--discovery=avahi", "--discovery=builtin"},
         Action::refuse,
         "--discovery and --interfaces"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.arguments.join(' ').toStdString());
        const CommandLineRequest request =
            readCommandLine(QStringList{QStringLiteral("corvane-client")} + each.arguments);
        EXPECT_EQ(request.action, each.action);
        switch (each.action) {
            case Action::run:
                break;
            case Action::showHelp:
                EXPECT_TRUE(request.text.contains(each.text)) << request.text.toStdString();
                break;
            case Action::showVersion:
                EXPECT_EQ(request.text, each.text);
                break;
            case Action::refuse:
                EXPECT_TRUE(request.text.startsWith("corvane-client: " + each.text))
                    << request.text.toStdString();
                EXPECT_FALSE(request.text.contains('\n'));
                break;
        }
    }
}

TEST(CommandLineTest, ReadsHowPeersAreFound) {
    using Kind = DiscoveryChoice::Kind;
    const std::pair<QStringList, DiscoveryChoice> runs[] = {
        {{}, {Kind::automatic, {}}},
        {{"--discovery=avahi"}, {Kind::avahi, {}}},
        {{"--discovery", "builtin"}, {Kind::builtin, {}}},
        {{"--interfaces=lo,eth0"}, {Kind::builtin, {"lo", "eth0"}}},
        {{"--interfaces", "eth1", "--discovery=builtin"}, {Kind::builtin, {"eth1"}}},
    };
    for (const auto& [arguments, discovery] : runs) {
        const CommandLineRequest request =
            readCommandLine(QStringList{QStringLiteral("corvane-client")} + arguments);
        EXPECT_EQ(request.action, Action::run) << arguments.join(' ').toStdString();
        EXPECT_EQ(request.discovery, discovery) << arguments.join(' ').toStdString();
    }
}

}  // namespace
}  // namespace corvane
