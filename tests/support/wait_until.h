#pragma once

#include <chrono>
#include <thread>

namespace corvane::testing {

// Checks `done()` every `interval` until it holds; false when `timeout` passes first. For
// conditions that other threads or processes make true; a loop of the test's own is run
// with runLoopUntil instead.
template <typename Condition>
bool waitUntil(Condition done, std::chrono::milliseconds timeout,
               std::chrono::milliseconds interval = std::chrono::milliseconds(1)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace corvane::testing
