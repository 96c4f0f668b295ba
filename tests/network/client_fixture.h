#pragma once

// A client whose main queue is the test's own loop, recording the words it receives and
// each value of connected it publishes; gone by the end of the test. `Base` is the
// GoogleTest fixture it extends (a parameterised one for tests run per discovery).

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <memory>
#include <vector>

#include "network/asio_main_queue.h"
#include "network/cvc_network_client.h"
#include "support/asio_loop.h"

namespace corvane::testing {

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
    AsioMainQueue mainQueue{loop};
    std::vector<std::uint32_t> words;
    std::vector<bool> changes;
    ObservationToken token;
    std::shared_ptr<CVC_NetworkClient> client;
};

}  // namespace corvane::testing
