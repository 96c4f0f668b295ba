#pragma once

// A client on a scripted discovery, with the test thread as its main thread.

#include <gtest/gtest.h>

#include <asio/executor_work_guard.hpp>
#include <atomic>

#include "network/cvc_network_client.h"
#include "support/loopback_peer.h"
#include "support/scripted_discovery.h"

namespace corvane::testing {

using namespace std::chrono_literals;
using Words = std::vector<std::uint32_t>;
using Endpoints = std::vector<asio::ip::tcp::endpoint>;

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

// A client on a scripted discovery, trying peers again after 10 to 40 ms; the test thread
// is the main thread.
class ClientTest : public ::testing::Test {
  protected:
    void TearDown() override {
        token.invalidate();
        if (client) {
            // Main-queue tasks hold the client: it goes once they have run.
            const std::weak_ptr<CVC_NetworkClient> weak = std::exchange(client, nullptr);
            EXPECT_TRUE(pumpUntil([&] { return weak.expired() && discovery.destroyed; }));
        }
    }

    void start() {
        client = CVC_NetworkClient::create(
            mainQueue, discovery.factory(),
            {60s, 5s, [this](const std::string& message) { log.push_back(message); }, 10ms, 40ms});
        token = client->observeConnected(
            [this, observed = client.get()] { changes.push_back(observed->connected()); });
        client->setReceiveCommand(
            [this](std::uint32_t word, WordReceipt) { words.push_back(word); });
    }
    static std::shared_ptr<ScriptedService> serviceOf(const LoopbackPeer& peer,
                                                      std::string name = "peer") {
        return std::make_shared<ScriptedService>(std::move(name), Endpoints{peer.endpoint()});
    }
    template <typename Condition>
    bool pumpUntil(Condition done) {
        return runLoopUntil(mainLoop, done, 10s);
    }
    // Lets the client thread finish what it was given, then runs what it posted.
    void settle() {
        discovery.onClientThread([] {});
        mainLoop.poll();
    }
    int stops(const std::shared_ptr<ScriptedService>& service) {
        return discovery.onClientThread([&] { return service->stops; });
    }
    int resolves(const std::shared_ptr<ScriptedService>& service) {
        return discovery.onClientThread([&] { return service->resolveCalls; });
    }

    asio::io_context mainLoop;
    asio::executor_work_guard<asio::io_context::executor_type> idle{mainLoop.get_executor()};
    CountingMainQueue mainQueue{mainLoop};
    ScriptedDiscovery discovery;
    std::vector<std::string> log;
    Words words;
    std::vector<bool> changes;
    ObservationToken token;
    std::shared_ptr<CVC_NetworkClient> client;
};

}  // namespace corvane::testing
