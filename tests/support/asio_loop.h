#pragma once

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <chrono>
#include <cstdlib>
#include <future>
#include <type_traits>

namespace corvane::testing {

// Runs `read` on the thread that runs `loop`, once everything posted there before it has
// run, and returns its result. A thread that does not answer within 10 s ends the test
// program, since the task it still holds lives on this stack.
template <typename Read>
std::invoke_result_t<Read> onLoopThread(asio::io_context& loop, Read read) {
    std::packaged_task<std::invoke_result_t<Read>()> task(std::move(read));
    auto result = task.get_future();
    asio::post(loop, [&task] { task(); });
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        ADD_FAILURE() << "the loop's thread did not answer within 10 s";
        std::abort();
    }
    return result.get();
}

// Runs `loop` on the calling thread until `done()` holds; false when `timeout` passes
// first. The loop needs work (a work guard) to keep waiting.
template <typename Condition>
bool runLoopUntil(asio::io_context& loop, Condition done, std::chrono::milliseconds timeout) {
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !done();) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        loop.run_one_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace corvane::testing
