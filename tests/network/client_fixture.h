#pragma once

#include <gtest/gtest.h>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "network/asio_main_queue.h"
#include "network/cvc_network_client.h"
#include "support/loopback_peer.h"
#include "support/run_loop_until.h"
#include "support/scripted_discovery.h"

namespace corvane::testing {

// The main queue of the tests, counting the tasks posted to it and those that ran.
class CountingMainQueue final : public MainQueue {
  public:
    explicit CountingMainQueue(asio::io_context& mainLoop) : queue_(mainLoop) {}
    void post(std::function<void()> task) override {
        ++posted;
        queue_.post([this, task = std::move(task)] {
            task();
            ++ran;
        });
    }
    std::atomic<std::size_t> posted = 0;
    std::atomic<std::size_t> ran = 0;

  private:
    AsioMainQueue queue_;
};

// A client on a scripted discovery; the test thread is the main thread.
class ClientTest : public ::testing::Test {
  protected:
    using Answer = ScriptedService::Answer;

    void TearDown() override {
        token.invalidate();
        if (!client) {
            return;
        }
        // Main-queue tasks hold the client: it goes once they have run, and the queue
        // must outlive it.
        const std::weak_ptr<CVC_NetworkClient> weak = client;
        client.reset();
        EXPECT_TRUE(pumpUntil([&] { return weak.expired() && discovery.destroyed; }));
    }

    void start(std::chrono::milliseconds keepAlive = std::chrono::seconds(60)) {
        client = CVC_NetworkClient::create(mainQueue, discovery.factory(),
                                           {keepAlive, std::chrono::seconds(5),
                                            [this](const std::string& m) { log.push_back(m); }});
        token = client->observeConnected(
            [this, observed = client.get()] { changes.push_back(observed->connected()); });
        client->setReceiveCommand([this](std::uint32_t word) { words.push_back(word); });
    }

    std::shared_ptr<ScriptedService> serviceOf(const LoopbackPeer& peer,
                                               std::string name = "peer") {
        return std::make_shared<ScriptedService>(std::move(name), Answer::endpoint,
                                                 peer.endpoint());
    }

    // Reports `service` found; it resolves by its script.
    void connect(const std::shared_ptr<ScriptedService>& service) { discovery.found(service); }

    // Runs main-queue tasks until `done` holds; false after 10 s.
    template <typename Condition>
    bool pumpUntil(Condition done) {
        return runLoopUntil(mainLoop, done, std::chrono::seconds(10));
    }

    // Lets the client thread finish what it was given, then runs what it posted.
    void settle() {
        discovery.onClientThread([] { return 0; });
        mainLoop.poll();
    }

    std::vector<std::string> clientLog() {
        return discovery.onClientThread([this] { return log; });
    }

    static std::vector<std::uint8_t> bytesOf(const std::vector<std::uint32_t>& values) {
        std::vector<std::uint8_t> bytes;
        for (const std::uint32_t value : values) {
            for (int shift = 0; shift < 32; shift += 8) {
                bytes.push_back(static_cast<std::uint8_t>(value >> shift));
            }
        }
        return bytes;
    }

    asio::io_context mainLoop;
    asio::executor_work_guard<asio::io_context::executor_type> idle{mainLoop.get_executor()};
    CountingMainQueue mainQueue{mainLoop};
    ScriptedDiscovery discovery;
    std::vector<std::string> log;
    std::vector<std::uint32_t> words;
    std::vector<bool> changes;
    ObservationToken token;
    std::shared_ptr<CVC_NetworkClient> client;
};

}  // namespace corvane::testing
