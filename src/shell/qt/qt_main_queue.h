#pragma once

#include <functional>
#include <memory>

#include "network/main_queue.h"

namespace corvane {

// The main queue on Qt's event loop. Construct it on the main thread; tasks then run there,
// one at a time and in the order posted, while the event loop runs. Tasks still pending
// when the queue is destroyed are dropped.
class QtMainQueue final : public MainQueue {
  public:
    QtMainQueue();
    ~QtMainQueue() override;

    void post(std::function<void()> task) override;

  private:
    class Receiver;
    // Lives on the constructing thread; events posted to it are handled there.
    std::unique_ptr<Receiver> receiver_;
};

}  // namespace corvane
