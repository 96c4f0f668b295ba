#include "support/child_process.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

TEST(ChildProcess, ReadsLinesWaitingAtMostTheTimeoutAndTakesWhatIsThereWithZero) {
    ChildProcess printer({"sh", "-c", "echo one; echo two"});
    ASSERT_TRUE(printer.started());
    EXPECT_EQ(printer.wait(5s), 0);
    EXPECT_EQ(printer.readLine(0ms), "one");
    EXPECT_EQ(printer.readLine(0ms), "two");
    EXPECT_EQ(printer.readLine(0ms), std::nullopt);

    ChildProcess silent({"sh", "-c", "exec sleep 30"});
    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(silent.readLine(100ms), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_EQ(silent.terminate(), -1);  // ended by SIGTERM
    EXPECT_FALSE(silent.started());
}

// A test may block SIGTERM to take it through a signalfd; the program must still take
// terminate() and its parent's death.
TEST(ChildProcess, ProgramStartsWithNoSignalBlockedWhenTheStartingThreadBlocksSigterm) {
    sigset_t terminate;
    sigemptyset(&terminate);
    sigaddset(&terminate, SIGTERM);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &terminate, &before);
    ChildProcess program({"grep", "SigBlk", "/proc/self/status"});
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    EXPECT_EQ(program.readLine(5s), "SigBlk:\t0000000000000000");
}

TEST(ChildProcess, RunsWithTheGivenEnvironmentAndReportsTheExitStatus) {
    EXPECT_EQ(ChildProcess::run({"sh", "-c", "exit $CODE"}, {{"CODE", "3"}}), 3);
    EXPECT_EQ(ChildProcess::run({"sh", "-c", "test \"$HOME\" = /nowhere"}, {{"HOME", "/nowhere"}}),
              0);
}

TEST(ChildProcess, MissingProgramIsNotStarted) {
    ChildProcess missing({"corvane-no-such-program"});
    EXPECT_FALSE(missing.started());
    EXPECT_EQ(missing.readLine(100ms), std::nullopt);
    EXPECT_EQ(ChildProcess::run({"corvane-no-such-program"}), -1);
}

// A process that starts a program and dies without ending it: the program holds the write
// end of `ends`, so the read end sees its end when the program goes.
TEST(ChildProcess, ProgramEndsWhenTheProcessThatStartedItDies) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const pid_t starter = fork();
    ASSERT_GE(starter, 0);
    if (starter == 0) {
        close(ends[0]);
        ChildProcess sleeper({"sleep", "30"}, {}, ChildProcess::Output::inherited);
        const char started = sleeper.started() ? '1' : '0';
        _exit(write(ends[1], &started, 1) == 1 ? 0 : 1);
    }
    close(ends[1]);
    ASSERT_EQ(waitpid(starter, nullptr, 0), starter);

    char started = 0;
    ASSERT_EQ(read(ends[0], &started, 1), 1);
    EXPECT_EQ(started, '1');
    pollfd ended{ends[0], POLLIN, 0};
    ASSERT_EQ(poll(&ended, 1, 5000), 1);
    EXPECT_EQ(read(ends[0], &started, 1), 0);
    close(ends[0]);
}

}  // namespace
}  // namespace corvane::testing
