#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "support/wait_until.h"

extern char** environ;

namespace corvane::testing {

namespace {

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        const std::string name(text.substr(0, text.find('=')));
        if (overrides.count(name) == 0) {
            result.emplace_back(text);
        }
    }
    for (const auto& [name, value] : overrides) {
        result.push_back(name + "=" + value);
    }
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Between fork and exec: only async-signal-safe calls, since other threads of the test
// may have held locks at the fork. `failed` gets errno when the program cannot be run.
[[noreturn]] void runInChild(pid_t parent, int output, int failed, char* const argv[],
                             char* const envp[]) {
    // The mask is kept through exec: a test that blocks SIGTERM for itself (to take it
    // through a signalfd) would leave the program deaf to terminate() and to its parent's
    // death.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // A parent that died before the request took effect is no longer our parent.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) == 0 && getppid() == parent &&
        (output < 0 || dup2(output, STDOUT_FILENO) >= 0)) {
        execvpe(argv[0], argv, envp);
    }
    const int error = errno;
    [[maybe_unused]] const ssize_t written = write(failed, &error, sizeof error);
    _exit(127);
}

// Whether the child reported on `failed` that it could not run the program; an empty
// read means the exec closed the pipe.
bool execFailed(int failed) {
    int error = 0;
    ssize_t count = 0;
    do {
        count = read(failed, &error, sizeof error);
    } while (count < 0 && errno == EINTR);
    return count > 0;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment, Output output) {
    int outputEnds[2] = {-1, -1};
    int failedEnds[2] = {-1, -1};
    if (arguments.empty() || pipe2(failedEnds, O_CLOEXEC) != 0) {
        return;
    }
    if (output == Output::lines && pipe2(outputEnds, O_CLOEXEC) != 0) {
        close(failedEnds[0]);
        close(failedEnds[1]);
        return;
    }
    std::vector<std::string> argumentCopy = arguments;
    std::vector<std::string> environmentCopy = mergedEnvironment(environment);
    const std::vector<char*> argv = pointersTo(argumentCopy);
    const std::vector<char*> envp = pointersTo(environmentCopy);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        runInChild(parent, outputEnds[1], failedEnds[1], argv.data(), envp.data());
    }
    close(failedEnds[1]);
    if (outputEnds[1] >= 0) {
        close(outputEnds[1]);
    }
    output_ = outputEnds[0];
    if (pid > 0 && execFailed(failedEnds[0])) {
        waitpid(pid, nullptr, 0);
    } else if (pid > 0) {
        pid_ = pid;
    }
    close(failedEnds[0]);
}

ChildProcess::~ChildProcess() {
    terminate();
    if (output_ >= 0) {
        close(output_);
    }
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        const std::size_t newline = buffered_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffered_.substr(0, newline);
            buffered_.erase(0, newline + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{output_, POLLIN, 0};
        if (output_ < 0 ||
            poll(&readable, 1, static_cast<int>(std::max<long>(left.count(), 0))) <= 0) {
            return std::nullopt;
        }
        char chunk[4096];
        const ssize_t count = read(output_, chunk, sizeof chunk);
        if (count <= 0) {
            return std::nullopt;  // the program closed its output
        }
        buffered_.append(chunk, static_cast<std::size_t>(count));
    }
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return -1;
    }
    int status = 0;
    const bool ended = waitUntil([&] { return waitpid(pid_, &status, WNOHANG) != 0; }, timeout,
                                 std::chrono::milliseconds(5));
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
    }
    pid_ = -1;
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int ChildProcess::terminate(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) {
        return -1;
    }
    kill(pid_, SIGTERM);
    return wait(timeout);
}

int ChildProcess::run(const std::vector<std::string>& arguments,
                      const std::map<std::string, std::string>& environment,
                      std::chrono::milliseconds timeout) {
    ChildProcess process(arguments, environment, Output::inherited);
    return process.wait(timeout);
}

}  // namespace corvane::testing
