#pragma once

#include <optional>
#include <string>

#include "command/workspace.h"

namespace corvane::testing {

// The frontmost application is whatever the test says.
class FixedWorkspace final : public Workspace {
  public:
    std::optional<RunningApplication> frontmost;
    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
};

}  // namespace corvane::testing
