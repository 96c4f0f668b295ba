#pragma once

#include <optional>

#include "shell/command_line.h"
#include "shell/win32/program_log.h"

namespace corvane::win32 {

// Reads the program's command line. Help and version go to the console it was started
// from, else into a message box; a refusal goes to the log, and into a message box when
// there is no console. Returns the exit status (0, or 2 for wrong arguments); nothing when
// the program runs, with `request` telling how.
std::optional<int> answerCommandLine(ProgramLog& log, CommandLineRequest& request);

}  // namespace corvane::win32
