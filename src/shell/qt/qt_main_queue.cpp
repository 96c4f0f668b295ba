#include "shell/qt/qt_main_queue.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <utility>

#ifdef __SANITIZE_THREAD__
#include <sanitizer/tsan_interface.h>
#endif

namespace corvane {

namespace {

// Qt hands events between threads under its own futex-based mutex, which ThreadSanitizer
// cannot see (Qt is not built with it). These tell it that everything the posting thread
// wrote into an event happens before the main thread reads it.
void handingOver([[maybe_unused]] void* event) {
#ifdef __SANITIZE_THREAD__
    __tsan_release(event);
#endif
}

void takingOver([[maybe_unused]] void* event) {
#ifdef __SANITIZE_THREAD__
    __tsan_acquire(event);
#endif
}

const QEvent::Type kTaskEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

class TaskEvent final : public QEvent {
  public:
    explicit TaskEvent(std::function<void()> task)
        : QEvent(kTaskEventType), task_(std::move(task)) {}
    void run() const { task_(); }

  private:
    std::function<void()> task_;
};

}  // namespace

class QtMainQueue::Receiver final : public QObject {
  public:
    bool event(QEvent* event) override {
        takingOver(event);
        if (event->type() != kTaskEventType) {
            return QObject::event(event);
        }
        static_cast<const TaskEvent*>(event)->run();
        return true;
    }
};

QtMainQueue::QtMainQueue() : receiver_(std::make_unique<Receiver>()) {}

QtMainQueue::~QtMainQueue() = default;

void QtMainQueue::post(std::function<void()> task) {
    auto* event = new TaskEvent(std::move(task));
    handingOver(event);
    // Events of one priority reach their receiver in the order they were posted; Qt owns
    // and deletes the event.
    QCoreApplication::postEvent(receiver_.get(), event);
}

}  // namespace corvane
