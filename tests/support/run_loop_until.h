#pragma once

#include <asio/io_context.hpp>
#include <chrono>

namespace corvane::testing {

// Runs `loop` on the calling thread until `done()` holds; false when `timeout` passes
// first. The loop needs work (a work guard) to keep waiting.
template <typename Condition>
bool runLoopUntil(asio::io_context& loop, Condition done,
                  std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        loop.run_one_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace corvane::testing
