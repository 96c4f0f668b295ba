#include "shell/linux/single_instance.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QTemporaryDir>
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
