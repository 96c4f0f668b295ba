#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "shell/obj_c_object.h"
#include "shell/win32/message_loop_queue.h"
#include "shell/win32/power_sleep_monitor.h"
#include "shell/win32/program_log.h"
#include "shell/win32/termination_requests.h"

namespace corvane::win32 {
namespace {

// The will-sleep observer closes the connections on another thread, which hands the
// completion back through the main queue, as the network client does.
class PowerSleepMonitorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        willSleep =
            center.addObserver(workspaceWillSleepNotification, [this](const Notification& n) {
                events.push_back("will sleep");
                if (completes) {
                    closer = std::thread([this, done = n.completion] {
                        queue.post([this, done] {
                            events.push_back("connections closed");
                            done();
                        });
                    });
                }
            });
        didWake = center.addObserver(workspaceDidWakeNotification,
                                     [this](const Notification&) { events.push_back("did wake"); });
    }
    void TearDown() override {
        if (closer.joinable()) {
            closer.join();
        }
    }
    LRESULT broadcast(WPARAM event) {
        const LRESULT answer = SendMessageW(monitor.window(), WM_POWERBROADCAST, event, 0);
        events.push_back("answered");
        return answer;
    }

    MessageLoopQueue queue;
    NotificationCenter center;
    PowerSleepMonitor monitor{center, std::chrono::milliseconds(300)};
    bool completes = true;
    std::vector<std::string> events;
    std::thread closer;
    ObservationToken willSleep, didWake;
};

TEST_F(PowerSleepMonitorTest, TheSuspendIsAnsweredOnceTheConnectionsAreClosedAndResumeWakes) {
    EXPECT_EQ(broadcast(PBT_APMSUSPEND), TRUE);
    EXPECT_EQ(broadcast(PBT_APMRESUMEAUTOMATIC), TRUE);
    EXPECT_EQ(events, (std::vector<std::string>{"will sleep", "connections closed", "answered",
                                                "did wake", "answered"}));
}

TEST_F(PowerSleepMonitorTest, AnObserverThatNeverCompletesHoldsTheSuspendUpOnlySoLong) {
    completes = false;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(broadcast(PBT_APMSUSPEND), TRUE);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(events, (std::vector<std::string>{"will sleep", "answered"}));
}

TEST(TerminationRequests, TheSessionsEndShutsDownBeforeItIsAnsweredAndEndsTheLoop) {
    bool ended = false;
    TerminationRequests requests([&] { ended = true; });
    SendMessageW(requests.window(), WM_ENDSESSION, FALSE, 0);  // the end was called off
    EXPECT_FALSE(ended);
    SendMessageW(requests.window(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(ended);
    MSG message{};
    EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

std::vector<std::string> linesOf(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(ProgramLog, WholeLinesFromEveryThreadWithTheTimeAndAFullFileKeptOnceAsOld) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("corvane-log-test-" + std::to_string(GetCurrentProcessId())) / "corvane-client.log";
    {
        ProgramLog log(file);
        std::thread other([&] {
            for (int i = 0; i < 100; ++i) {
                log.write("from the client thread");
            }
        });
        for (int i = 0; i < 100; ++i) {
            log.stream() << "AppBundleId: "
                         << "sibelius.exe" << std::endl;
        }
        other.join();
    }
    const std::vector<std::string> lines = linesOf(file);
    ASSERT_EQ(lines.size(), 200U);
    const std::regex whole(
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (AppBundleId: sibelius\.exe|from the client thread))");
    for (const std::string& line : lines) {
        EXPECT_TRUE(std::regex_match(line, whole)) << line;
    }

    std::filesystem::resize_file(file, 2 * 1024 * 1024);
    { ProgramLog(file).write("after"); }
    EXPECT_EQ(std::filesystem::file_size(file.string() + ".old"), 2U * 1024 * 1024);
    EXPECT_EQ(linesOf(file).size(), 1U);
    std::filesystem::remove_all(file.parent_path());
}

}  // namespace
}  // namespace corvane::win32
