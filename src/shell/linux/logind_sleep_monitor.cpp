#include "shell/linux/logind_sleep_monitor.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QTimer>
#include <iostream>

#include "shell/obj_c_object.h"

namespace corvane::linux_shell {

namespace {
const QString logindService = QStringLiteral("org.freedesktop.login1");
const QString logindPath = QStringLiteral("/org/freedesktop/login1");
const QString logindManager = QStringLiteral("org.freedesktop.login1.Manager");
}  // namespace

LogindSleepMonitor::LogindSleepMonitor(NotificationCenter& workspaceCenter,
                                       QDBusConnection systemBus,
                                       std::chrono::milliseconds maxSleepDelay)
    : workspaceCenter_(workspaceCenter),
      bus_(std::move(systemBus)),
      maxSleepDelay_(maxSleepDelay) {}

bool LogindSleepMonitor::start() {
    if (!bus_.isConnected()) {
        reportUnavailable(QStringLiteral("no system bus"));
        return false;
    }
    if (!bus_.connect(logindService, logindPath, logindManager, QStringLiteral("PrepareForSleep"),
                      this, SLOT(prepareForSleep(bool)))) {
        reportUnavailable(bus_.lastError().message());
        return false;
    }
    takeInhibitor();
    return true;
}

void LogindSleepMonitor::prepareForSleep(bool goingToSleep) {
    sleeping_ = goingToSleep;
    if (goingToSleep) {
        const unsigned sleep = ++sleeps_;
        QTimer::singleShot(maxSleepDelay_, this, [this, sleep] { releaseInhibitor(sleep); });
        workspaceCenter_.post(workspaceWillSleepNotification, this,
                              [monitor = QPointer(this), sleep] {
                                  if (monitor) {
                                      monitor->releaseInhibitor(sleep);
                                  }
                              });
    } else {
        workspaceCenter_.post(workspaceDidWakeNotification, this);
        takeInhibitor();
    }
}

void LogindSleepMonitor::releaseInhibitor(unsigned sleep) {
    if (sleep != sleeps_ || !sleeping_ || !inhibitor_.isValid()) {
        return;
    }
    inhibitor_ = QDBusUnixFileDescriptor();  // closing it lets the machine sleep
    emit inhibitorChanged(false);
}

void LogindSleepMonitor::takeInhibitor() {
    QDBusMessage call = QDBusMessage::createMethodCall(logindService, logindPath, logindManager,
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Corvane Client")
         << QStringLiteral("Closing peer connections before sleep") << QStringLiteral("delay");
    // Asynchronous, so the user interface never waits on logind.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
                if (reply.isError()) {
                    reportUnavailable(reply.error().message());
                    emit inhibitorChanged(false);
                    return;
                }
                if (sleeping_) {
                    return;  // taken too late: holding it now would only delay the sleep
                }
                inhibitor_ = reply.value();
                emit inhibitorChanged(true);
            });
}

void LogindSleepMonitor::reportUnavailable(const QString& reason) {
    if (reported_) {
        return;
    }
    reported_ = true;
    std::cerr << "corvane-client: sleep and wake are not handled (logind: " << reason.toStdString()
              << ")" << std::endl;
}

}  // namespace corvane::linux_shell
