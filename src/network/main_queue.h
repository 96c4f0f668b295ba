#pragma once

#include <functional>

namespace corvane {

// The main thread's task queue: tasks run there one at a time, in the order posted.
// post() may be called from any thread.
class MainQueue {
  public:
    virtual ~MainQueue() = default;
    virtual void post(std::function<void()> task) = 0;
};

}  // namespace corvane
