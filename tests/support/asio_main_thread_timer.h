#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <memory>

#include "keystroke/main_thread_timer.h"

namespace corvane::testing {

// The main-thread timer on an io_context that the test runs on its main thread.
class AsioMainThreadTimer final : public MainThreadTimer {
  public:
    explicit AsioMainThreadTimer(asio::io_context& loop) : loop_(loop) {}

    void runAfter(std::chrono::milliseconds delay, std::function<void()> task) override {
        auto timer = std::make_shared<asio::steady_timer>(loop_, delay);
        timer->async_wait([timer, task = std::move(task)](const std::error_code&) { task(); });
    }

  private:
    asio::io_context& loop_;
};

}  // namespace corvane::testing
