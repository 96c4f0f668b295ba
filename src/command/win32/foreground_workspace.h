#pragma once

#include <optional>

#include "command/workspace.h"

namespace corvane::win32 {

// The frontmost application on Windows: the process of the foreground window, named by
// its image's file name in lower case ("sibelius.exe"). A process this one may not ask
// (a protected one) is an application without an id.
class ForegroundWorkspace final : public Workspace {
  public:
    std::optional<RunningApplication> frontmostApplication() override;
};

}  // namespace corvane::win32
