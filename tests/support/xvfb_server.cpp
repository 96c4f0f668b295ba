#include "support/xvfb_server.h"

#include <chrono>
#include <optional>

namespace corvane::testing {

namespace {

std::vector<std::string> xvfbCommand(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {"Xvfb", "-displayfd", "1", "-noreset",  "-nolisten",
                                        "tcp",  "-screen",    "0", "640x480x24"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return command;
}

}  // namespace

XvfbServer::XvfbServer(const std::vector<std::string>& arguments)
    : process_(std::make_unique<ChildProcess>(xvfbCommand(arguments))) {
    // Xvfb writes the display number it chose once it accepts clients.
    const std::optional<std::string> number = process_->readLine(std::chrono::seconds(20));
    if (number && !number->empty()) {
        display_ = ":" + *number;
    } else {
        process_.reset();
    }
}

bool XvfbServer::run(const std::vector<std::string>& arguments) const {
    return ChildProcess::run(arguments, environment()) == 0;
}

void XvfbServer::stop() {
    process_.reset();
}

}  // namespace corvane::testing
