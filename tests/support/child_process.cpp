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

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Between fork and exec only async-signal-safe calls: other threads of the test may have
// held locks at the fork. A program that cannot be run ends with status 127.
[[noreturn]] void runInChild(pid_t parent, int input, int output, char* const argv[],
                             char* const envp[]) {
    // The mask survives exec: a test that blocks SIGTERM for itself (to take it through a
    // signalfd) would leave the program deaf to terminate() and to its parent's death.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    // A parent that died before the request took effect is no longer our parent.
    if (prctl(PR_SET_PDEATHSIG, SIGTERM) == 0 && getppid() == parent &&
        (output < 0 || dup2(output, STDOUT_FILENO) >= 0) &&
        (input < 0 || dup2(input, STDIN_FILENO) >= 0)) {
        execvpe(argv[0], argv, envp);
    }
    _exit(127);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::map<std::string, std::string>& environment, Output output,
                           Input input) {
    std::vector<std::string> argumentCopy = arguments;
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        if (!environment.contains(std::string(text.substr(0, text.find('='))))) {
            variables.emplace_back(text);
        }
    }
    for (const auto& [name, value] : environment) {
        variables.push_back(name + "=" + value);
    }
    const std::vector<char*> argv = pointersTo(argumentCopy);
    const std::vector<char*> envp = pointersTo(variables);
    int outputEnds[2] = {-1, -1};
    int inputEnds[2] = {-1, -1};
    if (arguments.empty() || (output == Output::lines && pipe2(outputEnds, O_CLOEXEC) != 0) ||
        (input == Input::written && pipe2(inputEnds, O_CLOEXEC) != 0)) {
        for (const int end : {outputEnds[0], outputEnds[1]}) {
            close(end);
        }
        return;
    }
    const pid_t parent = getpid();
    pid_ = fork();
    if (pid_ == 0) {
        runInChild(parent, inputEnds[0], outputEnds[1], argv.data(), envp.data());
    }
    close(outputEnds[1]);
    close(inputEnds[0]);
    output_ = outputEnds[0];
    input_ = inputEnds[1];
}

ChildProcess::~ChildProcess() {
    terminate();
    for (const int end : {output_, input_}) {
        if (end >= 0) {
            close(end);
        }
    }
}

bool ChildProcess::write(const std::string& text) {
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t count = ::write(input_, text.data() + done, text.size() - done);
        if (count < 0 && errno != EINTR) {
            return false;
        }
        done += count > 0 ? static_cast<std::size_t>(count) : 0;
    }
    return true;
}

std::optional<std::string> ChildProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t newline = 0;
    while ((newline = buffered_.find('\n')) == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{output_, POLLIN, 0};
        char chunk[4096];
        ssize_t count = 0;
        if (output_ < 0 || poll(&readable, 1, std::max(static_cast<int>(left.count()), 0)) <= 0 ||
            (count = read(output_, chunk, sizeof chunk)) <= 0) {
            return std::nullopt;  // nothing in time, or the program closed its output
        }
        buffered_.append(chunk, static_cast<std::size_t>(count));
    }
    std::string line = buffered_.substr(0, newline);
    buffered_.erase(0, newline + 1);
    return line;
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
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
    }
    return wait(timeout);
}

}  // namespace corvane::testing
