#include "shell/linux/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>
#include <iostream>

namespace corvane::linux_shell {

namespace {
const QByteArray reopenRequest = "reopen\n";
const QByteArray reopenAnswer = "ok\n";
constexpr int connectRetryMs = 50;
}  // namespace

SingleInstance::SingleInstance(QString directory, int answerTimeoutMs)
    : lockPath_(directory + QStringLiteral("/corvane-client.lock")),
      socketPath_(directory + QStringLiteral("/corvane-client.socket")),
      answerTimeoutMs_(answerTimeoutMs) {
    // A child, so that the server moves along when the object is moved to a thread.
    server_.setParent(this);
}

SingleInstance::~SingleInstance() {
    server_.close();
    if (lockFd_ >= 0) {
        ::close(lockFd_);
    }
}

SingleInstance::Claim SingleInstance::claim() {
    lockFd_ = ::open(lockPath_.toLocal8Bit().constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) {
        std::cerr << "corvane-client: cannot open " << lockPath_.toStdString() << std::endl;
        return Claim::failed;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) {
        return listen() ? Claim::running : Claim::failed;
    }
    ::close(lockFd_);
    lockFd_ = -1;
    return askRunningInstanceToReopen() ? Claim::reopenedOther : Claim::otherNotAnswering;
}

bool SingleInstance::listen() {
    // Holding the lock means any socket there is a leftover of a run that has ended.
    QLocalServer::removeServer(socketPath_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_.listen(socketPath_)) {
        std::cerr << "corvane-client: cannot listen on " << socketPath_.toStdString() << ": "
                  << server_.errorString().toStdString() << std::endl;
        return false;
    }
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine()) {
                    return;
                }
                const QByteArray request = client->readLine();
                if (request == reopenRequest) {
                    emit reopenRequested();
                    client->write(reopenAnswer);
                    client->flush();
                }
                client->disconnectFromServer();
            });
        }
    });
    return true;
}

bool SingleInstance::askRunningInstanceToReopen() {
    const QDeadlineTimer deadline(answerTimeoutMs_);
    QLocalSocket socket;
    while (true) {
        socket.connectToServer(socketPath_);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            break;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        // The running instance holds the lock but may not be listening yet.
        QThread::msleep(connectRetryMs);
    }
    socket.write(reopenRequest);
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
        return false;
    }
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() ||
            !socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            return false;
        }
    }
    return socket.readLine() == reopenAnswer;
}

}  // namespace corvane::linux_shell
