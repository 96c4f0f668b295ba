#pragma once

// A corvane-peer process, started with `command`; every line it prints is kept.

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace corvane::testing {

class PeerProcess {
  public:
    explicit PeerProcess(const std::vector<std::string>& command) : process_(command) {}
    void stop() { process_.terminate(); }

    // The lines printed so far that start with `prefix`, waiting up to 15 s for `wanted`.
    std::size_t lines(const std::string& prefix, std::size_t wanted = 0) {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + 15s;
        const auto wait = [&] {
            const bool waiting = matching(prefix).size() < wanted;
            return waiting ? duration_cast<milliseconds>(deadline - steady_clock::now()) : 0ms;
        };
        while (std::optional<std::string> line = process_.readLine(wait())) {
            lines_.push_back(std::move(*line));
        }
        return matching(prefix).size();
    }
    // The lines read so far that start with `prefix`.
    std::vector<std::string> matching(const std::string& prefix) const {
        std::vector<std::string> found;
        std::ranges::copy_if(lines_, std::back_inserter(found),
                             [&](const std::string& line) { return line.starts_with(prefix); });
        return found;
    }

  private:
    ChildProcess process_;
    std::vector<std::string> lines_;
};

}  // namespace corvane::testing
