#include "support/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

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

TEST(ChildProcess, RunsWithTheGivenEnvironmentAndTellsAMissingProgram) {
    EXPECT_EQ(ChildProcess::run({"sh", "-c", "test \"$HOME\" = /nowhere && exit $CODE"},
                                {{"CODE", "3"}, {"HOME", "/nowhere"}}),
              3);
    ChildProcess missing({"corvane-no-such-program"});
    EXPECT_FALSE(missing.started());
    EXPECT_EQ(missing.readLine(100ms), std::nullopt);
    EXPECT_EQ(ChildProcess::run({"corvane-no-such-program"}), -1);
}

// Ending the starting thread stands for a test process that dies without ending the
// program. That thread blocks SIGTERM, as a test that takes it through a signalfd does:
// the program must not inherit the block.
TEST(ChildProcess, ProgramGetsSigtermWhenTheThreadThatStartedItEndsEvenIfItBlockedIt) {
    std::optional<ChildProcess> program;
    std::thread([&] {
        sigset_t terminate;
        sigemptyset(&terminate);
        sigaddset(&terminate, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &terminate, nullptr);
        program.emplace(std::vector<std::string>{
            "sh", "-c", "trap 'kill $!; echo terminated; exit' TERM; sleep 30 & echo up; wait"});
        EXPECT_EQ(program->readLine(5s), "up");
    }).join();
    EXPECT_EQ(program->readLine(5s), "terminated");
}

}  // namespace
}  // namespace corvane::testing
