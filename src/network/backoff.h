#pragma once

#include <algorithm>
#include <chrono>

namespace corvane {

// The waits between attempts to reach a peer: `first`, then twice as long each time up to
// `longest`, and `first` again after reset() (a connection was made).
class Backoff {
  public:
    Backoff(std::chrono::milliseconds first, std::chrono::milliseconds longest)
        : first_(first), longest_(std::max(first, longest)), next_(first) {}

    // The wait before the next attempt.
    std::chrono::milliseconds next() {
        const std::chrono::milliseconds wait = next_;
        next_ = std::min(next_ * 2, longest_);
        return wait;
    }
    void reset() { next_ = first_; }

  private:
    std::chrono::milliseconds first_;
    std::chrono::milliseconds longest_;
    std::chrono::milliseconds next_;
};

}  // namespace corvane
