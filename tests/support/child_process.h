#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// A program run by a test or benchmark. It is ended with SIGTERM (then SIGKILL if it does
// not go) when the object goes, and gets SIGTERM from the kernel when the thread that
// started it ends, so that a test process that crashes or is killed leaves no program
// behind. Start it on the thread that owns it (the main thread in tests).
class ChildProcess {
  public:
    // Where the program's standard output goes.
    enum class Output {
        lines,      // to a pipe, read with readLine()
        inherited,  // to this process's own standard output (for programs nobody reads)
    };

    // Starts `arguments[0]` (searched in PATH) with the environment of this process,
    // `environment` added or overriding. started() tells whether it ran.
    explicit ChildProcess(const std::vector<std::string>& arguments,
                          const std::map<std::string, std::string>& environment = {},
                          Output output = Output::lines);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when the program could not be run (e.g. it is not installed) or has ended.
    bool started() const { return pid_ > 0; }
    // The next line of its output without the newline, or nothing when none comes in time
    // or the output has ended. A timeout of 0 takes only what is there already.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Sends SIGTERM and waits; its exit status, or -1 when it ended by a signal or had to
    // be killed.
    int terminate(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Waits for it to end by itself; its exit status, or -1 when it ended by a signal or
    // had to be killed.
    int wait(std::chrono::milliseconds timeout);

    // Runs a program to its end, its output going to this process's own; its exit status,
    // or -1.
    static int run(const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment = {},
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string buffered_;
};

}  // namespace corvane::testing
