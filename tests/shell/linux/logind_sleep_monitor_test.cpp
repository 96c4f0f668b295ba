#include "shell/linux/logind_sleep_monitor.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>

#include "shell/obj_c_object.h"
#include "support/qt/core_application.h"
#include "support/qt/logind_stand_in.h"

namespace corvane::linux_shell {
namespace {

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

TEST_F(LogindSleepMonitorTest, SleepReleasesTheInhibitorAfterTheObserversAndWakeRetakesIt) {
    LogindSleepMonitor monitor(workspaceCenter, QDBusConnection::connectToBus(address, "monitor"));
    std::vector<std::string> seen;
    ObjCObject observer([&] { seen.push_back(monitor.holdsInhibitor() ? "sleep+held" : "sleep"); },
                        [&] { seen.push_back("wake"); }, workspaceCenter);

    ASSERT_TRUE(monitor.start());
    ASSERT_TRUE(processEventsUntil([&] { return monitor.holdsInhibitor(); }));
    EXPECT_EQ(standIn.inhibitCalls, QStringList{"sleep/Corvane Client/delay"});
    EXPECT_TRUE(standIn.newestInhibitorHeld());

    emit standIn.PrepareForSleep(true);
    ASSERT_TRUE(processEventsUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<std::string>{"sleep+held"});  // still held while closing
    EXPECT_FALSE(monitor.holdsInhibitor());
    EXPECT_FALSE(standIn.newestInhibitorHeld());

    emit standIn.PrepareForSleep(false);
    ASSERT_TRUE(processEventsUntil([&] { return monitor.holdsInhibitor(); }));
    EXPECT_EQ(seen, (std::vector<std::string>{"sleep+held", "wake"}));
    EXPECT_EQ(standIn.inhibitCalls.size(), 2);
    EXPECT_TRUE(standIn.newestInhibitorHeld());
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
    const std::string messages = ::testing::internal::GetCapturedStderr();
    // One message from each monitor.
    int count = 0;
    for (std::size_t at = messages.find("sleep and wake are not handled"); at != std::string::npos;
         at = messages.find("sleep and wake are not handled", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 2) << messages;
}

}  // namespace
}  // namespace corvane::linux_shell
