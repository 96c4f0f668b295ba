#include "shell/linux/logind_sleep_monitor.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QProcess>
#include <functional>

#include "shell/obj_c_object.h"

namespace corvane::linux_shell {
namespace {

// Stands in for logind on a private bus: hands out delay inhibitors as pipe ends and
// announces sleep and wake.
class LogindStandIn final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~LogindStandIn() override {
        for (int fd : writeEnds) {
            ::close(fd);
        }
    }
    QStringList inhibitCalls;
    std::vector<int> writeEnds;

    // Whether someone still holds the read end of the newest inhibitor.
    bool newestInhibitorHeld() const {
        pollfd poller{writeEnds.back(), POLLOUT, 0};
        ::poll(&poller, 1, 0);
        return (poller.revents & POLLERR) == 0;
    }

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString&,
                                    const QString& mode) {
        inhibitCalls << what + "/" + who + "/" + mode;
        int ends[2];
        if (::pipe(ends) != 0) {
            return {};
        }
        writeEnds.push_back(ends[1]);
        QDBusUnixFileDescriptor readEnd(ends[0]);  // keeps a duplicate
        ::close(ends[0]);
        return readEnd;
    }

signals:
    void PrepareForSleep(bool start);
};

bool waitUntil(const std::function<bool()>& condition) {
    const QDeadlineTimer deadline(5000);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

class LogindSleepMonitorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "logind_sleep_monitor_test";
        static char* argv[] = {name, nullptr};
        static QCoreApplication application(argc, argv);
    }

    void SetUp() override {
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        ASSERT_TRUE(bus.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([this] { return bus.canReadLine(); }));
        address = QString::fromUtf8(bus.readLine()).trimmed();
        QDBusConnection logind = QDBusConnection::connectToBus(address, "logind");
        ASSERT_TRUE(logind.registerService("org.freedesktop.login1"));
        ASSERT_TRUE(logind.registerObject("/org/freedesktop/login1", &standIn,
                                          QDBusConnection::ExportAllSlots |
                                              QDBusConnection::ExportAllSignals));
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
    ASSERT_TRUE(waitUntil([&] { return monitor.holdsInhibitor(); }));
    EXPECT_EQ(standIn.inhibitCalls, QStringList{"sleep/Corvane Client/delay"});
    EXPECT_TRUE(standIn.newestInhibitorHeld());

    emit standIn.PrepareForSleep(true);
    ASSERT_TRUE(waitUntil([&] { return !seen.empty(); }));
    EXPECT_EQ(seen, std::vector<std::string>{"sleep+held"});  // still held while closing
    EXPECT_FALSE(monitor.holdsInhibitor());
    EXPECT_FALSE(standIn.newestInhibitorHeld());

    emit standIn.PrepareForSleep(false);
    ASSERT_TRUE(waitUntil([&] { return monitor.holdsInhibitor(); }));
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
    EXPECT_TRUE(waitUntil([&] { return answered; }));

    LogindSleepMonitor withoutBus(workspaceCenter,
                                  QDBusConnection::connectToBus("unix:path=/nonexistent", "none"));
    EXPECT_FALSE(withoutBus.start());
    const std::string messages = ::testing::internal::GetCapturedStderr();
    // One message from each monitor.
    int count = 0;
    for (std::size_t at = messages.find("sleep and wake are not handled");
         at != std::string::npos; at = messages.find("sleep and wake are not handled", at + 1)) {
        ++count;
    }
    EXPECT_EQ(count, 2) << messages;
}

}  // namespace
}  // namespace corvane::linux_shell

#include "logind_sleep_monitor_test.moc"
