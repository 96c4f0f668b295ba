#pragma once

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include "network/main_queue.h"

namespace corvane {

// A main queue over an io_context that the owner runs on its main thread (tests and
// headless programs).
class AsioMainQueue final : public MainQueue {
  public:
    explicit AsioMainQueue(asio::io_context& mainLoop) : mainLoop_(mainLoop) {}
    void post(std::function<void()> task) override { asio::post(mainLoop_, std::move(task)); }

  private:
    asio::io_context& mainLoop_;
};

}  // namespace corvane
