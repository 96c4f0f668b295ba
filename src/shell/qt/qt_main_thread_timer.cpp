#include "shell/qt/qt_main_thread_timer.h"

#include <QTimer>

namespace corvane {

void QtMainThreadTimer::runAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    // Below two seconds Qt keeps such a timer precise to the millisecond.
    QTimer::singleShot(delay, &context_, std::move(task));
}

}  // namespace corvane
