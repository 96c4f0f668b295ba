#pragma once

// A corvane-peer process started by a test, whose output lines can be waited for.

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/private_avahi.h"

namespace corvane::testing {

class PeerProcess {
  public:
    explicit PeerProcess(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), CORVANE_PEER_PATH);
        pid_ = spawnProcess(arguments, &output_);
    }
    ~PeerProcess() {
        stop();
        if (output_ >= 0) {
            close(output_);
        }
    }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    void stop() {
        terminateProcess(pid_);
        pid_ = -1;
    }

    // Whether `count` lines starting with `prefix` have been printed, waiting up to
    // `timeout` for them.
    bool waitForLines(const std::string& prefix, std::size_t count = 1,
                      std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (linesStartingWith(prefix) < count) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !readSome(static_cast<int>(left.count()))) {
                return false;
            }
        }
        return true;
    }

    // Lines printed so far that start with `prefix`, reading what is there already.
    std::size_t linesStartingWith(const std::string& prefix) {
        while (readSome(0)) {
        }
        std::size_t count = 0;
        for (const std::string& line : lines_) {
            count += line.starts_with(prefix) ? 1 : 0;
        }
        return count;
    }

  private:
    bool readSome(int timeoutMs) {
        pollfd ready{output_, POLLIN, 0};
        if (output_ < 0 || poll(&ready, 1, timeoutMs) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t count = read(output_, buffer, sizeof buffer);
        if (count <= 0) {
            return false;
        }
        partial_.append(buffer, static_cast<std::size_t>(count));
        for (std::size_t end = partial_.find('\n'); end != std::string::npos;
             end = partial_.find('\n')) {
            lines_.push_back(partial_.substr(0, end));
            partial_.erase(0, end + 1);
        }
        return true;
    }

    pid_t pid_ = -1;
    int output_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
};

}  // namespace corvane::testing
