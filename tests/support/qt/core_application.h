#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <functional>

namespace corvane::testing {

// The one QCoreApplication of a test program, made on first use.
inline void ensureCoreApplication() {
    static int argc = 1;
    static char name[] = "corvane-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

// Runs Qt's events until `condition` holds; false when it still does not after `timeoutMs`.
inline bool processEventsUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

}  // namespace corvane::testing
