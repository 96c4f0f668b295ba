#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include <chrono>

#include "shell/notification_center.h"

namespace corvane::linux_shell {

// Feeds the workspace center with logind's sleep and wake signals. While awake it holds
// a "delay" sleep inhibitor, released once the will-sleep observer has called the
// notification's completion (connections closed), or after maxSleepDelay at the latest,
// so that nothing stuck holds the sleep up; it is taken again after wake.
class LogindSleepMonitor final : public QObject {
    Q_OBJECT

  public:
    static constexpr std::chrono::milliseconds defaultMaxSleepDelay{1000};

    LogindSleepMonitor(NotificationCenter& workspaceCenter, QDBusConnection systemBus,
                       std::chrono::milliseconds maxSleepDelay = defaultMaxSleepDelay);

    // Starts listening. Without a system bus or logind, says so once on standard error
    // and returns false; the program then runs without sleep handling.
    bool start();

    // Whether a sleep inhibitor is held at the moment.
    bool holdsInhibitor() const { return inhibitor_.isValid(); }

  signals:
    // The inhibitor was taken (true) or could not be (false).
    void inhibitorChanged(bool held);

  private slots:
    void prepareForSleep(bool goingToSleep);

  private:
    void takeInhibitor();
    // Lets sleep number `sleep` go ahead, unless it has already or the machine woke.
    void releaseInhibitor(unsigned sleep);
    void reportUnavailable(const QString& reason);

    NotificationCenter& workspaceCenter_;
    QDBusConnection bus_;
    const std::chrono::milliseconds maxSleepDelay_;
    QDBusUnixFileDescriptor inhibitor_;
    bool sleeping_ = false;
    unsigned sleeps_ = 0;
    bool reported_ = false;
};

}  // namespace corvane::linux_shell
