#pragma once

// A client whose main queue is the test's own loop, recording the words it receives and
// each value of connected it publishes; gone by the end of the test. `Base` is the
// GoogleTest fixture it extends (a parameterised one for tests run per discovery).

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <memory>
#include <vector>

#include "network/cvc_network_client.h"
#include "support/asio_loop.h"

namespace corvane::testing {

// The main queue on the test thread's loop, counting the tasks posted to it and those that ran.
struct CountingMainQueue final : MainQueue {
    explicit CountingMainQueue(asio::io_context& mainLoop) : loop(mainLoop) {}
    void post(std::function<void()> task) override {
        ++posted;
        asio::post(loop, [this, task = std::move(task)] {
            task();
            ++ran;
        });
    }
    asio::io_context& loop;
    std::atomic<std::size_t> posted = 0;
    std::atomic<std::size_t> ran = 0;
};

template <typename Base = ::testing::Test>
class ClientFixture : public Base {
  protected:
    void TearDown() override {
        token.invalidate();
        const std::weak_ptr<CVC_NetworkClient> weak = std::exchange(client, nullptr);
        EXPECT_TRUE(runUntil([&] { return weak.expired(); }));
    }

    void startClient(const ServiceDiscoveryFactory& discovery,
                     CVC_NetworkClient::Options options = {}) {
        client = CVC_NetworkClient::create(mainQueue, discovery, std::move(options));
        token = client->observeConnected(
            [this, observed = client.get()] { changes.push_back(observed->connected()); });
        client->setReceiveCommand(
            [this](std::uint32_t word, WordReceipt) { words.push_back(word); });
    }
    template <typename Condition>
    bool runUntil(Condition done, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
        return runLoopUntil(loop, done, timeout);
    }
    void runFor(std::chrono::milliseconds time) {
        runUntil([] { return false; }, time);
    }
    std::size_t received(std::uint32_t word) const {
        return std::size_t(std::ranges::count(words, word));
    }

    asio::io_context loop;
    asio::executor_work_guard<asio::io_context::executor_type> idle{loop.get_executor()};
    CountingMainQueue mainQueue{loop};
    std::vector<std::uint32_t> words;
    std::vector<bool> changes;
    ObservationToken token;
    std::shared_ptr<CVC_NetworkClient> client;
};

}  // namespace corvane::testing
