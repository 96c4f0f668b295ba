#pragma once

#include <map>
#include <memory>
#include <string>

#include "support/child_process.h"

namespace corvane::testing {

// A private X server (Xvfb) on a free display, started with -noreset so that a layout set
// with setxkbmap stays when the last client goes. `arguments` are added to Xvfb's own.
class XvfbServer {
  public:
    explicit XvfbServer(const std::vector<std::string>& arguments = {}) {
        std::vector<std::string> command = {"Xvfb", "-displayfd", "1", "-noreset",  "-nolisten",
                                            "tcp",  "-screen",    "0", "640x480x24"};
        command.insert(command.end(), arguments.begin(), arguments.end());
        process_ = std::make_unique<ChildProcess>(command);
        // Xvfb writes the display number it chose once it accepts clients.
        const std::optional<std::string> number = process_->readLine(std::chrono::seconds(20));
        display_ = number && !number->empty() ? ":" + *number : "";
    }

    // False when Xvfb could not be started.
    bool running() const { return !display_.empty(); }
    const std::string& display() const { return display_; }
    std::map<std::string, std::string> environment() const { return {{"DISPLAY", display_}}; }
    // Runs a program (e.g. setxkbmap) against this server; true when it exits with 0.
    bool run(const std::vector<std::string>& arguments) const {
        return ChildProcess::run(arguments, environment()) == 0;
    }
    void stop() { process_.reset(); }

  private:
    std::unique_ptr<ChildProcess> process_;
    std::string display_;
};

}  // namespace corvane::testing
