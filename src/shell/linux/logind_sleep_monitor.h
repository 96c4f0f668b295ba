#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>

#include "shell/notification_center.h"

namespace corvane::linux_shell {

// Feeds the workspace center with logind's sleep and wake signals. While awake it holds
// a "delay" sleep inhibitor, released once the will-sleep observers have run, so that
// connections are closed before the machine sleeps; it is taken again after wake.
class LogindSleepMonitor final : public QObject {
    Q_OBJECT

  public:
    LogindSleepMonitor(NotificationCenter& workspaceCenter, QDBusConnection systemBus);

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
    void reportUnavailable(const QString& reason);

    NotificationCenter& workspaceCenter_;
    QDBusConnection bus_;
    QDBusUnixFileDescriptor inhibitor_;
    bool sleeping_ = false;
    bool reported_ = false;
};

}  // namespace corvane::linux_shell
