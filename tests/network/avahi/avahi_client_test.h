#pragma once

// A client on Avahi whose main queue is the test's own loop, recording the words it
// receives and each value of connected it publishes; gone by the end of the test.

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <memory>
#include <vector>

#include "network/asio_main_queue.h"
#include "network/avahi/avahi_discovery.h"
#include "network/cvc_network_client.h"
#include "support/asio_loop.h"

namespace corvane::testing {

class AvahiClientTest : public ::testing::Test {
  protected:
    void TearDown() override {
        token.invalidate();
        const std::weak_ptr<CVC_NetworkClient> weak = std::exchange(client, nullptr);
        EXPECT_TRUE(runUntil([&] { return weak.expired(); }));
    }

    void startClient(std::chrono::milliseconds keepAlive = std::chrono::seconds(60)) {
        client = CVC_NetworkClient::create(mainQueue, avahi::makeAvahiDiscovery,
                                           {keepAlive, std::chrono::seconds(5), {}});
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
