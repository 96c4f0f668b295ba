#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace corvane::linux_shell {

// Keeps one running program per user. The first launch holds a lock file for its whole
// life and listens on a local socket beside it; a later launch finds the lock taken and
// asks the running one to reopen instead of starting. A crashed run leaves no lock
// (the kernel drops it with the process), so its stale socket is simply replaced.
class SingleInstance final : public QObject {
    Q_OBJECT

  public:
    enum class Claim {
        // This process is the running instance; reopenRequested() follows later launches.
        running,
        // Another instance runs and has been asked to reopen.
        reopenedOther,
        // Another instance holds the lock but did not answer.
        otherNotAnswering,
        // The lock or the socket could not be set up.
        failed,
    };

    // `directory` holds the lock file and the socket, e.g. the user's runtime directory.
    // A later launch waits up to `answerTimeoutMs` for the running one, which may itself
    // be starting.
    explicit SingleInstance(QString directory, int answerTimeoutMs = 5000);
    ~SingleInstance() override;

    Claim claim();

  signals:
    void reopenRequested();

  private:
    bool listen();
    bool askRunningInstanceToReopen();

    QString lockPath_;
    QString socketPath_;
    int answerTimeoutMs_;
    int lockFd_ = -1;
    QLocalServer server_;
};

}  // namespace corvane::linux_shell
