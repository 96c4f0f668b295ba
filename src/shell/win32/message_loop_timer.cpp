#include "shell/win32/message_loop_timer.h"

#include <utility>

namespace corvane::win32 {

namespace {
constexpr UINT runTaskMessage = WM_APP;
}  // namespace

MessageLoopTimer::MessageLoopTimer()
    : window_(HiddenWindow::Kind::messageOnly, L"Corvane Client timer",
              [this](UINT message, WPARAM id, LPARAM) -> std::optional<LRESULT> {
                  if (message != runTaskMessage && message != WM_TIMER) {
                      return std::nullopt;
                  }
                  if (message == WM_TIMER) {
                      KillTimer(window_.handle(), id);
                  }
                  run(id);
                  return 0;
              }) {}

void MessageLoopTimer::runAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    const UINT_PTR id = ++lastId_;
    tasks_.emplace(id, std::move(task));
    // Messages posted run in the order they were posted, before any timer that is due.
    // Should the thread's queue be full, the timer's shortest wait serves.
    if (delay.count() > 0 || !PostMessageW(window_.handle(), runTaskMessage, id, 0)) {
        SetTimer(window_.handle(), id, static_cast<UINT>(delay.count()), nullptr);
    }
}

void MessageLoopTimer::run(UINT_PTR id) {
    const auto found = tasks_.find(id);
    if (found == tasks_.end()) {
        return;
    }
    const std::function<void()> task = std::move(found->second);
    tasks_.erase(found);
    task();
}

}  // namespace corvane::win32
