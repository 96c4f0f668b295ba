#pragma once

#include <chrono>
#include <functional>

namespace corvane {

// Work for the main thread after a delay, run from its event loop: how something that has
// to wait lets the thread serve everything else meanwhile. Used on the main thread only.
class MainThreadTimer {
  public:
    virtual ~MainThreadTimer() = default;

    // Runs `task` on the main thread once `delay` has passed (0: as soon as the loop gets
    // to it), never within this call. Tasks still waiting when the timer goes are dropped.
    virtual void runAfter(std::chrono::milliseconds delay, std::function<void()> task) = 0;
};

}  // namespace corvane
