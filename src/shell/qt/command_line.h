#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "shell/discovery_choice.h"

namespace corvane {

// What the command line asks for. It is read before the X connection is opened, so that
// --help and --version answer without a display.
struct CommandLineRequest {
    enum class Action { run, showHelp, showVersion, refuse };

    Action action = Action::run;
    // The help text, the version line, or the one-line reason of a refusal.
    QString text;
    // For a run: how peers are found.
    DiscoveryChoice discovery;
};

// `arguments` starts with the program's name, as argv does.
CommandLineRequest readCommandLine(const QStringList& arguments);

// Prints the help or the version on standard output, a refusal on standard error, and
// returns the exit status (0, or 2 for wrong arguments); nothing when the program runs,
// with `request` telling how.
std::optional<int> answerCommandLine(int argc, char* argv[], CommandLineRequest& request);

}  // namespace corvane
