#pragma once

// A corvane-peer process started by a test, whose output lines can be waited for and
// counted: every line it printed is kept.

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace corvane::testing {

class PeerProcess {
  public:
    explicit PeerProcess(std::vector<std::string> arguments)
        : process_(withPeerPath(std::move(arguments))) {}

    void stop() { process_.terminate(); }

    // Whether `count` lines starting with `prefix` have been printed, waiting up to
    // `timeout` for them.
    bool waitForLines(const std::string& prefix, std::size_t count = 1,
                      std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (linesStartingWith(prefix) < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !keepNextLine(left)) {
                return false;
            }
        }
        return true;
    }

    // Lines printed so far that start with `prefix`, reading what is there already.
    std::size_t linesStartingWith(const std::string& prefix) {
        while (keepNextLine(std::chrono::milliseconds(0))) {
        }
        return static_cast<std::size_t>(std::ranges::count_if(
            lines_, [&](const std::string& line) { return line.starts_with(prefix); }));
    }

  private:
    static std::vector<std::string> withPeerPath(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), CORVANE_PEER_PATH);
        return arguments;
    }

    bool keepNextLine(std::chrono::milliseconds timeout) {
        std::optional<std::string> line = process_.readLine(timeout);
        if (line) {
            lines_.push_back(std::move(*line));
        }
        return line.has_value();
    }

    ChildProcess process_;
    std::vector<std::string> lines_;
};

}  // namespace corvane::testing
