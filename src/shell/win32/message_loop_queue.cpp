#include "shell/win32/message_loop_queue.h"

#include <utility>

namespace corvane::win32 {

namespace {
constexpr UINT runTasksMessage = WM_APP;
}  // namespace

MessageLoopQueue::MessageLoopQueue()
    : window_(HiddenWindow::Kind::messageOnly, L"Corvane Client main queue",
              [this](UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
                  if (message != runTasksMessage) {
                      return std::nullopt;
                  }
                  runWaitingTasks();
                  return 0;
              }) {}

void MessageLoopQueue::post(std::function<void()> task) {
    bool wake = false;
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        wake = !std::exchange(wakePosted_, true);
    }
    if (wake) {
        PostMessageW(window_.handle(), runTasksMessage, 0, 0);
    }
}

void MessageLoopQueue::runWaitingTasks() {
    // Runs the tasks that are waiting now; later ones get a wake of their own, so messages
    // in between are not held up. A task that runs a modal loop may run later tasks inside
    // it; they still run one at a time, in order.
    std::size_t waiting = 0;
    {
        const std::lock_guard lock(mutex_);
        waiting = tasks_.size();
        wakePosted_ = false;
    }
    for (; waiting > 0; --waiting) {
        std::function<void()> task;
        {
            const std::lock_guard lock(mutex_);
            if (tasks_.empty()) {
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace corvane::win32
