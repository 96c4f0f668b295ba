#pragma once

#include <QObject>

#include <functional>

#include "network/main_queue.h"

namespace corvane {

// The main queue on Qt's event loop. Construct it on the main thread; tasks then run there,
// one at a time and in the order posted, while the event loop runs. Tasks still pending
// when the queue is destroyed are dropped.
class QtMainQueue final : public MainQueue {
  public:
    void post(std::function<void()> task) override;

  private:
    // Lives on the constructing thread; queued calls on it run there.
    QObject receiver_;
};

}  // namespace corvane
