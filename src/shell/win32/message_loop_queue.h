#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "network/main_queue.h"
#include "shell/win32/hidden_window.h"

namespace corvane::win32 {

// The main queue on the message loop of the thread that makes it: a task posted from any
// thread runs on that thread, in the order posted, while it dispatches messages (in menus
// and other modal loops too). Tasks wait in a queue of their own, so none is lost however
// many arrive; one posted message wakes the loop for all that are waiting.
class MessageLoopQueue final : public MainQueue {
  public:
    MessageLoopQueue();
    void post(std::function<void()> task) override;

  private:
    void runWaitingTasks();

    std::mutex mutex_;
    std::deque<std::function<void()>> tasks_;
    bool wakePosted_ = false;
    HiddenWindow window_;
};

}  // namespace corvane::win32
