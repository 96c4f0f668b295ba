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

using Kind = DiscoveryChoice::Kind;
DiscoveryChoice builtin(std::vector<std::string> interfaces) {
    return {Kind::builtin, std::move(interfaces)};
}

struct Case {
    Arguments arguments;
    Action action;
    // The whole text of help and version; the start of a refusal's reason.
    std::string text;
    // For a run: how peers are found.
    DiscoveryChoice discovery = {};
    const CommandLineSyntax& syntax = withAvahi;
};

// Help and version are answered alone, a run says how peers are found, and everything else
// is refused in one line.
TEST(CommandLineTest, ReadsTheOptionsAndRefusesEverythingElseInOneLine) {
    const Case cases[] = {
        {{}, Action::run, {}},
        {{"--discovery=avahi"}, Action::run, {}, {Kind::avahi, {}}},
        {{"--discovery", "builtin"}, Action::run, {}, builtin({})},
        {{"--interfaces=lo,eth0"}, Action::run, {}, builtin({"lo", "eth0"})},
        {{"--interfaces=eth1", "--discovery=builtin"}, Action::run, {}, builtin({"eth1"})},
        {{"--interfaces", "Wi-Fi,LAN 2"},
         Action::run,
         {},
         builtin({"Wi-Fi", "LAN 2"}),
         builtinOnly},
        {{"--help"}, Action::showHelp, "usage with avahi\n"},
        {{"-h"}, Action::showHelp, "usage without avahi\n", {}, builtinOnly},
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
        {{"--discovery=builtin"}, Action::refuse, "Unknown option 'discovery'.", {}, builtinOnly},
        {{"--interfaces=lo,,eth0"}, Action::refuse, "--interfaces takes names of network"},
        {{"--interfaces="}, Action::refuse, "--interfaces takes names of network", {}, builtinOnly},
        {{"--interfaces=lo", "--discovery=avahi"}, Action::refuse, "--interfaces is for the"},
        {{"--discovery=avahi", "--discovery=builtin"}, Action::refuse, "--discovery and"},
        {{"--interfaces=a", "--interfaces=b"},
         Action::refuse,
         "--interfaces is given",
         {},
         builtinOnly},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(::testing::PrintToString(each.arguments));
        const CommandLineRequest request = read(each.arguments, each.syntax);
        EXPECT_EQ(request.action, each.action);
        if (each.action != Action::refuse) {
            EXPECT_EQ(request.text, each.text);
            EXPECT_EQ(request.discovery, each.discovery);
            continue;
        }
        EXPECT_TRUE(request.text.starts_with("corvane-client: " + each.text)) << request.text;
        EXPECT_TRUE(request.text.ends_with(" Try corvane-client --help.")) << request.text;
        EXPECT_EQ(request.text.find('\n'), std::string::npos);
    }
}

TEST(CommandLineTest, SaysWherePeersAreLookedFor) {
    EXPECT_EQ(browsingInterfaces(read({"--interfaces=lo,eth0"}).discovery), "lo, eth0");
    EXPECT_EQ(browsingInterfaces(read({}).discovery), "every network interface");
}

}  // namespace
}  // namespace corvane
