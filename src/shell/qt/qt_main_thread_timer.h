#pragma once

#include <QObject>

#include "keystroke/main_thread_timer.h"

namespace corvane {

// The main-thread timer on Qt's event loop. Construct it on the main thread; tasks still
// waiting when it goes are dropped.
class QtMainThreadTimer final : public MainThreadTimer {
  public:
    void runAfter(std::chrono::milliseconds delay, std::function<void()> task) override;

  private:
    // Owns the pending timers: they go with it.
    QObject context_;
};

}  // namespace corvane
