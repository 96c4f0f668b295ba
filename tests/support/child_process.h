#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

// A program run by a test or benchmark: `arguments[0]` searched in PATH, with this process's
// environment plus `environment`. It gets SIGTERM (then SIGKILL) when the object goes, and
// from the kernel when the thread that started it ends, so a test that crashes or is killed
// leaves no program behind. Start it on the thread that owns it (the main thread in tests).
class ChildProcess {
  public:
    // Its standard output goes to a pipe read with readLine(), or to this process's own.
    enum class Output { lines, inherited };
    // Its standard input is this process's own, or a pipe written with write().
    enum class Input { inherited, written };

    explicit ChildProcess(const std::vector<std::string>& arguments,
                          const std::map<std::string, std::string>& environment = {},
                          Output output = Output::lines, Input input = Input::inherited);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // False when no process could be made; a program that cannot be run ends with 127.
    bool started() const { return pid_ > 0; }
    // The next output line without its newline; nothing when none comes within `timeout`
    // (0: only what is there already) or the output has ended.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Writes all of `text` to its input; false when it cannot.
    bool write(const std::string& text);
    // Waits for it to end (killing it after `timeout`), after SIGTERM for terminate(); its
    // exit status, or -1 when it ended by a signal or had to be killed.
    int wait(std::chrono::milliseconds timeout);
    int terminate(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // Runs a program to its end, its output going to this process's own; its exit status.
    static int run(const std::vector<std::string>& arguments,
                   const std::map<std::string, std::string>& environment = {},
                   std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return ChildProcess(arguments, environment, Output::inherited).wait(timeout);
    }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    int input_ = -1;
    std::string buffered_;
};

}  // namespace corvane::testing
