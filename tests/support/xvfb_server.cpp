#include "support/xvfb_server.h"

#include <chrono>
#include <optional>

namespace corvane::testing {

XvfbServer::XvfbServer()
    : process_(std::make_unique<ChildProcess>(
          std::vector<std::string>{"Xvfb", "-displayfd", "1", "-noreset", "-nolisten", "tcp",
                                   "-screen", "0", "640x480x24"})) {
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
