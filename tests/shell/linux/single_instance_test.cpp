#include "shell/linux/single_instance.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstring>

#include "support/qt/core_application.h"

namespace corvane::linux_shell {
namespace {

class SingleInstanceTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { testing::ensureCoreApplication(); }
    QString path(const char* file) const { return directory.path() + "/" + file; }
    QTemporaryDir directory;
};

TEST_F(SingleInstanceTest, ALaterLaunchAsksTheRunningOneToReopen) {
    // The running instance answers from its own thread, as another process would.
    QThread runningThread;
    auto* running = new SingleInstance(directory.path());
    std::atomic<int> reopenRequests = 0;
    QObject::connect(running, &SingleInstance::reopenRequested, running, [&] { ++reopenRequests; });
    ASSERT_EQ(running->claim(), SingleInstance::Claim::running);
    running->moveToThread(&runningThread);
    QObject::connect(&runningThread, &QThread::finished, running, &QObject::deleteLater);
    runningThread.start();

    for (int launch = 1; launch <= 2; ++launch) {
        SingleInstance later(directory.path());
        EXPECT_EQ(later.claim(), SingleInstance::Claim::reopenedOther);
        EXPECT_EQ(reopenRequests, launch);
    }
    runningThread.quit();
    runningThread.wait();
}

TEST_F(SingleInstanceTest, AStaleSocketOfACrashedRunIsTakenOver) {
    // A socket file nobody listens on, as a crashed run leaves it.
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = path("corvane-client.socket").toLocal8Bit();
    std::strncpy(address.sun_path, socketPath.constData(), sizeof(address.sun_path) - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(stale);

    SingleInstance fresh(directory.path());
    EXPECT_EQ(fresh.claim(), SingleInstance::Claim::running);
}

TEST_F(SingleInstanceTest, ARunningInstanceThatDoesNotAnswerIsReportedNotWaitedOn) {
    // Something holds the lock but never listens.
    const int lock =
        ::open(path("corvane-client.lock").toLocal8Bit().constData(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    SingleInstance later(directory.path(), 300);
    EXPECT_EQ(later.claim(), SingleInstance::Claim::otherNotAnswering);
    ::close(lock);
}

TEST_F(SingleInstanceTest, AnUnusableDirectoryFails) {
    SingleInstance nowhere(path("missing/folder"));
    EXPECT_EQ(nowhere.claim(), SingleInstance::Claim::failed);
}

}  // namespace
}  // namespace corvane::linux_shell
