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
        {{"--help"}, Action::showHelp, "Usage: corvane-client [--help | --version]\n"},
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

}  // namespace
}  // namespace corvane
