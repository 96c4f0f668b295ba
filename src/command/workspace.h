#pragma once

#include <optional>
#include <string>

namespace corvane {

// The application that has the keyboard focus.
struct RunningApplication {
    // Its application id (a bundle identifier on macOS), if it has one.
    std::optional<std::string> bundleIdentifier;
};

// Where the frontmost application comes from.
class Workspace {
  public:
    virtual ~Workspace() = default;
    // The frontmost application at this moment, or nothing.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
};

}  // namespace corvane
