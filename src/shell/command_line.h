#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "shell/discovery_choice.h"

namespace corvane {

// What the command line asks for. It is read before anything else is set up, so that
// --help and --version answer at once.
struct CommandLineRequest {
    enum class Action { run, showHelp, showVersion, refuse };

    Action action = Action::run;
    // The help text or the version line (each ending with a newline), or the one-line
    // reason of a refusal.
    std::string text;
    // For a run: how peers are found.
    DiscoveryChoice discovery;
};

// What the program takes on one platform: its help text, and whether avahi-daemon can
// be asked for with --discovery (where there is no avahi-daemon, there is no such option).
struct CommandLineSyntax {
    std::string_view help;
    bool discoveryOption = false;
};

// `arguments` (UTF-8) start with the program's name, as argv does. Options take their
// value after "=" or as the next argument; short ones may be run together ("-hv").
CommandLineRequest readCommandLine(const std::vector<std::string>& arguments,
                                   const CommandLineSyntax& syntax);

}  // namespace corvane
