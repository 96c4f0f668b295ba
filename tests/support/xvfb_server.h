#pragma once

#include <map>
#include <memory>
#include <string>

#include "support/child_process.h"

namespace corvane::testing {

// A private X server (Xvfb) on a free display, started with -noreset so that a layout
// set with setxkbmap stays when the last client goes. Stopped with SIGTERM when the
// object goes.
class XvfbServer {
  public:
    // `arguments` are added to Xvfb's own, e.g. {"-extension", "XTEST"}.
    explicit XvfbServer(const std::vector<std::string>& arguments = {});

    // False when Xvfb could not be started.
    bool running() const { return !display_.empty(); }
    // The display name, e.g. ":5".
    const std::string& display() const { return display_; }
    // An environment that points a program at this server.
    std::map<std::string, std::string> environment() const { return {{"DISPLAY", display_}}; }
    // Runs a program against this server (e.g. setxkbmap); true when it exits with 0.
    bool run(const std::vector<std::string>& arguments) const;
    // Stops the server now.
    void stop();

  private:
    std::unique_ptr<ChildProcess> process_;
    std::string display_;
};

}  // namespace corvane::testing
