#include "command/command_queue.h"

#include <chrono>
#include <utility>

namespace corvane {

void CommandQueue::add(std::uint32_t word, std::shared_ptr<void> hold) {
    waiting_.push_back({word, std::move(hold)});
    if (!busy_) {
        startNext();
    }
}

void CommandQueue::startNext() {
    busy_ = true;
    // The handler may finish within this call; then the next word still waits for the loop.
    handler_.handleCommand(waiting_.front().value,
                           [this, lifetime = std::weak_ptr<int>(lifetime_)] {
                               if (lifetime.lock()) {
                                   finished();
                               }
                           });
}

void CommandQueue::finished() {
    waiting_.pop_front();
    if (waiting_.empty()) {
        busy_ = false;
        return;
    }
    timer_.runAfter(std::chrono::milliseconds(0), [this, lifetime = std::weak_ptr<int>(lifetime_)] {
        if (lifetime.lock()) {
            startNext();
        }
    });
}

}  // namespace corvane
