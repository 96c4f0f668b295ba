#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// A program run by a test, with its standard output read line by line. It is ended with
// SIGTERM (then SIGKILL if it does not go) when the object goes.
class ChildProcess {
  public:
    // Starts `arguments[0]` (searched in PATH) with the environment of this process,
    // `environment` added or overriding. started() tells whether it ran.
    explicit ChildProcess(const std::vector<std::string>& arguments,
                          const std::map<std::string, std::string>& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // The next line of its output without the newline, or nothing when none comes in time.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Sends SIGTERM and waits; its exit status, or -1 when it had to be killed.
    int terminate(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits for it to end by itself; its exit status, or -1 when it had to be killed.
    int wait(std::chrono::milliseconds timeout);

    // Runs a program to its end; its exit status, or -1.
    static int run(const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment = {},
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string buffered_;
};

}  // namespace corvane::testing
