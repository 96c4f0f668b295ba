#include "shell/command_line.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using Action = CommandLineRequest::Action;
using Arguments = std::vector<std::string>;

// Where avahi-daemon can be chosen (Linux), and where it cannot (Windows).
constexpr CommandLineSyntax withAvahi{"usage with avahi\n", true};
constexpr CommandLineSyntax builtinOnly{"usage without avahi\n", false};

CommandLineRequest read(Arguments arguments, const CommandLineSyntax& syntax = withAvahi) {
    arguments.insert(arguments.begin(), "corvane-client");
    return readCommandLine(arguments, syntax);
}

struct Case {
    Arguments arguments;
    Action action;
    // The whole text of help and version; the start of a refusal's reason.
    std::string text;
    const CommandLineSyntax& syntax = withAvahi;
};

TEST(CommandLineTest, AnswersHelpAndVersionAloneAndRefusesEverythingElseInOneLine) {
    const Case cases[] = {
        {{}, Action::run, {}},
        {{"--help"}, Action::showHelp, "usage with avahi\n"},
        {{"-h"}, Action::showHelp, "usage without avahi\n", builtinOnly},
        {{"--version"}, Action::showVersion, "corvane-client " CORVANE_VERSION "\n"},
        {{"-v"}, Action::showVersion, "corvane-client " CORVANE_VERSION "\n"},
        {{"--frobnicate"}, Action::refuse, "Unknown option 'frobnicate'."},
        {{"-x"}, Action::refuse, "Unknown option 'x'."},
        {{"-xy", "--z"}, Action::refuse, "Unknown options: x, y, z."},
        {{"--version", "extra"}, Action::refuse, "--version takes no other arguments."},
        {{"extra", "--version"}, Action::refuse, "--version takes no other arguments."},
        {{"--version", "--version"}, Action::refuse, "--version takes no other arguments."},
        {{"-hv"}, Action::refuse, "--version takes no other arguments."},
        {{"--help", "--help"}, Action::refuse, "--help takes no other arguments."},
        {{"--help", "-x"}, Action::refuse, "Unknown option 'x'."},
        {{"--version=1"}, Action::refuse, "Unexpected value after '--version'."},
        {{"-h=1"}, Action::refuse, "Unexpected value after '-h'."},
        {{"file.txt"}, Action::refuse, "Unexpected argument 'file.txt'."},
        {{"--", "--help"}, Action::refuse, "Unexpected argument '--help'."},
        {{"--discovery=mdns"}, Action::refuse, "--discovery takes avahi or builtin, not 'mdns'."},
        {{"--discovery"}, Action::refuse, "Missing value after '--discovery'."},
        {{"--discovery=builtin"}, Action::refuse, "Unknown option 'discovery'.", builtinOnly},
        {{"--interfaces=lo,,eth0"}, Action::refuse, "--interfaces takes names of network"},
        {{"--interfaces="}, Action::refuse, "--interfaces takes names of network", builtinOnly},
        {{"--interfaces=lo", "--discovery=avahi"}, Action::refuse, "--interfaces is for the"},
        {{"--discovery=avahi", "--discovery=builtin"}, Action::refuse, "--discovery and"},
        {{"--interfaces=a", "--interfaces=b"},
         Action::refuse,
         "--interfaces is given once.",
         builtinOnly},
    };
    for (const Case& each : cases) {
        std::string trace;
        for (const std::string& argument : each.arguments) {
            trace += argument + " ";
        }
        SCOPED_TRACE(trace);
        const CommandLineRequest request = read(each.arguments, each.syntax);
        EXPECT_EQ(request.action, each.action);
        if (each.action != Action::refuse) {
            EXPECT_EQ(request.text, each.text);
            continue;
        }
        EXPECT_TRUE(request.text.starts_with("corvane-client: " + each.text)) << request.text;
        EXPECT_TRUE(request.text.ends_with(" Try corvane-client --help.")) << request.text;
        EXPECT_EQ(request.text.find('\n'), std::string::npos);
    }
}

TEST(CommandLineTest, ReadsHowPeersAreFound) {
    using Kind = DiscoveryChoice::Kind;
    const std::tuple<Arguments, DiscoveryChoice, const CommandLineSyntax&> runs[] = {
        {{}, {Kind::automatic, {}}, withAvahi},
        {{"--discovery=avahi"}, {Kind::avahi, {}}, withAvahi},
        {{"--discovery", "builtin"}, {Kind::builtin, {}}, withAvahi},
        {{"--interfaces=lo,eth0"}, {Kind::builtin, {"lo", "eth0"}}, withAvahi},
        {{"--interfaces", "eth1", "--discovery=builtin"}, {Kind::builtin, {"eth1"}}, withAvahi},
        {{"--interfaces", "Wi-Fi,Ethernet 2"},
         {Kind::builtin, {"Wi-Fi", "Ethernet 2"}},
         builtinOnly},
    };
    for (const auto& [arguments, discovery, syntax] : runs) {
        const CommandLineRequest request = read(arguments, syntax);
        EXPECT_EQ(request.action, Action::run) << ::testing::PrintToString(arguments);
        EXPECT_EQ(request.discovery, discovery) << ::testing::PrintToString(arguments);
    }
    EXPECT_EQ(browsingInterfaces(read({"--interfaces=lo,eth0"}).discovery), "lo, eth0");
    EXPECT_EQ(browsingInterfaces(read({}).discovery), "every network interface");
}

}  // namespace
}  // namespace corvane
