#pragma once

#include <optional>

#include "shell/command_line.h"

namespace corvane::linux_shell {

// Reads the command line before the X connection is opened, so that --help and --version
// answer without a display. Prints the help or the version on standard output, a refusal
// on standard error, and returns the exit status (0, or 2 for wrong arguments); nothing
// when the program runs, with `request` telling how.
std::optional<int> answerCommandLine(int argc, char* argv[], CommandLineRequest& request);

}  // namespace corvane::linux_shell
