#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <functional>

namespace corvane::testing {

// The exit code a test's event loop returns when it had to be stopped.
constexpr int kEventLoopTimedOut = -99;

// Runs the application's event loop, calls `start` from inside it and returns the loop's
// exit code; stops the loop after a few seconds if nothing else does.
inline int runEventLoop(const std::function<void()>& start) {
    QTimer::singleShot(0, start);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout,
                     [] { QCoreApplication::exit(kEventLoopTimedOut); });
    watchdog.start(5000);
    return QCoreApplication::exec();
}

}  // namespace corvane::testing
