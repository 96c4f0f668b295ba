#include "shell/qt/qt_main_queue.h"

#include <QMetaObject>

#include <utility>

namespace corvane {

void QtMainQueue::post(std::function<void()> task) {
    // Queued calls to one receiver are delivered in the order they were posted.
    QMetaObject::invokeMethod(&receiver_, std::move(task), Qt::QueuedConnection);
}

}  // namespace corvane
