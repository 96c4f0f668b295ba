#include "shell/linux/logind_sleep_monitor.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <QDBusConnection>
#include <QProcess>
#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <optional>

#include "network/cvc_network_client.h"
#include "shell/main_object.h"
#include "shell/qt/qt_main_queue.h"
#include "support/qt/core_application.h"
#include "support/qt/logind_stand_in.h"
#include "support/recording_keyboard_events.h"
#include "support/scripted_discovery.h"

namespace corvane::linux_shell {
namespace {

using namespace std::chrono_literals;
using testing::LogindStandIn;
using testing::processEventsUntil;

class LogindSleepMonitorTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::ensureCoreApplication(); }

    void SetUp() override {
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        ASSERT_TRUE(bus.waitForStarted(5000));
        ASSERT_TRUE(processEventsUntil([this] { return bus.canReadLine(); }));
        address = QString::fromUtf8(bus.readLine()).trimmed();
        ASSERT_TRUE(standIn.serveOn(QDBusConnection::connectToBus(address, "logind")));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus("logind");
        QDBusConnection::disconnectFromBus("monitor");
        bus.terminate();
        bus.waitForFinished(5000);
    }

    QProcess bus;
    QString address;
    LogindStandIn standIn;
    NotificationCenter workspaceCenter;
};

// A peer the test answers itself: it sees the end of its connection in the kernel at
// once, with no thread of its own in between.
class PlainPeer {
  public:
    std::vector<asio::ip::tcp::endpoint> endpoints() const { return {acceptor_.local_endpoint()}; }
    void accept() { socket_ = acceptor_.accept(); }
    bool sawEnd() {
        char byte = 0;
        return ::recv(socket_.native_handle(), &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    }

  private:
    asio::io_context loop_;
    asio::ip::tcp::acceptor acceptor_{loop_, {asio::ip::address_v4::loopback(), 0}};
    asio::ip::tcp::socket socket_{loop_};
};

// The whole road from logind to the connections: the model pauses the client on sleep,
// and the inhibitor goes once the client has closed every connection (the longest wait
// far off), or once the longest wait is over when a service's stop hangs. Wake takes a new
// inhibitor and the client browses again; a stop's completion coming after the wake leaves
// the new inhibitor alone.
TEST_F(LogindSleepMonitorTest, SleepWaitsForEveryConnectionToEndButNotForAStuckStop) {
    struct Case {
        std::chrono::milliseconds stopTakes;
        std::chrono::milliseconds longestWait;
    };
    for (const Case& c : {Case{100ms, 1h}, Case{3000ms, 300ms}}) {
        SCOPED_TRACE(c.stopTakes.count());
        LogindSleepMonitor monitor(
            workspaceCenter, QDBusConnection::connectToBus(address, "monitor"), c.longestWait);
        standIn.inhibitCalls.clear();
        ASSERT_TRUE(monitor.start());
        ASSERT_TRUE(processEventsUntil([&] { return monitor.holdsInhibitor(); }));

        std::array<PlainPeer, 2> peers;
        testing::ScriptedDiscovery discovery;
        QtMainQueue mainQueue;
        testing::RecordingKeyboardEvents events;
        MainObject model(MainObject::Services{
            .makeClient = [&] { return CVC_NetworkClient::create(mainQueue, discovery.factory()); },
            .workspaceCenter = workspaceCenter,
            .handleCommand = [](std::uint32_t, WordReceipt) {},
            .keyboardEvents = events,
        });
        for (PlainPeer& peer : peers) {
            const auto service =
                std::make_shared<testing::ScriptedService>("peer", peer.endpoints());
            service->stopTakes = c.stopTakes;
            discovery.found(service);
            peer.accept();
        }
        ASSERT_TRUE(processEventsUntil([&] { return model.connected(); }));

        std::optional<std::vector<bool>> endedAtRelease;
        QObject::connect(&monitor, &LogindSleepMonitor::inhibitorChanged, [&](bool held) {
            if (!held) {
                endedAtRelease = std::vector<bool>{peers[0].sawEnd(), peers[1].sawEnd()};
            }
        });
        const auto sleepBegan = std::chrono::steady_clock::now();
        emit standIn.PrepareForSleep(true);
        ASSERT_TRUE(processEventsUntil([&] { return endedAtRelease.has_value(); }));
        const auto released = std::chrono::steady_clock::now() - sleepBegan;
        EXPECT_FALSE(standIn.newestInhibitorHeld());
        if (c.longestWait > c.stopTakes) {
            EXPECT_EQ(*endedAtRelease, (std::vector<bool>{true, true}));
            // Both stops and the hand-offs, well inside the default longest wait.
            EXPECT_LT(released, LogindSleepMonitor::defaultMaxSleepDelay);
        } else {
            EXPECT_LT(released, c.stopTakes - 1s);
        }

        emit standIn.PrepareForSleep(false);
        ASSERT_TRUE(processEventsUntil([&] { return monitor.holdsInhibitor(); }));
        // Once the client thread is past the stops, their completion waits on the main queue.
        EXPECT_EQ(discovery.onClientThread(
                      [&] { return std::ranges::count(discovery.calls, discovery.calls.front()); }),
                  2);  // the first search, and a second one since the wake
        QCoreApplication::processEvents();
        EXPECT_TRUE(monitor.holdsInhibitor() && standIn.newestInhibitorHeld());
        EXPECT_EQ(standIn.inhibitCalls, QStringList(2, "sleep/Corvane Client/delay"));
        QDBusConnection::disconnectFromBus("monitor");
    }
}

TEST_F(LogindSleepMonitorTest, WithoutLogindOrABusItSaysSoOnce) {
    QDBusConnection::disconnectFromBus("logind");  // the bus is there, logind is not
    ::testing::internal::CaptureStderr();
    LogindSleepMonitor withoutLogind(workspaceCenter,
                                     QDBusConnection::connectToBus(address, "monitor"));
    EXPECT_TRUE(withoutLogind.start());
    bool answered = false;
    QObject::connect(&withoutLogind, &LogindSleepMonitor::inhibitorChanged,
                     [&](bool held) { answered = !held; });
    EXPECT_TRUE(processEventsUntil([&] { return answered; }));

    LogindSleepMonitor withoutBus(workspaceCenter,
                                  QDBusConnection::connectToBus("unix:path=/nonexistent", "none"));
    EXPECT_FALSE(withoutBus.start());
    const QString messages = QString::fromStdString(::testing::internal::GetCapturedStderr());
    // One message from each monitor.
    EXPECT_EQ(messages.count("sleep and wake are not handled"), 2) << messages.toStdString();
}

}  // namespace
}  // namespace corvane::linux_shell
