#include <gtest/gtest.h>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <memory>

#include "network/asio_main_queue.h"
#include "network/avahi/avahi_discovery.h"
#include "network/cvc_network_client.h"
#include "peer_process.h"
#include "support/private_avahi.h"
#include "support/run_loop_until.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

class NetworkClientAvahiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(avahi->running()) << "no private avahi-daemon";
        client = CVC_NetworkClient::create(mainQueue, avahi::makeAvahiDiscovery);
        client->setReceiveCommand([this](std::uint32_t word) { words.push_back(word); });
    }
    void TearDown() override {
        const std::weak_ptr<CVC_NetworkClient> weak = client;
        client.reset();
        EXPECT_TRUE(pumpUntil([&] { return weak.expired(); }));
    }

    template <typename Condition>
    bool pumpUntil(Condition done, std::chrono::seconds timeout = 15s) {
        return runLoopUntil(mainLoop, done, timeout);
    }
    std::size_t count(std::uint32_t word) const {
        return static_cast<std::size_t>(std::count(words.begin(), words.end(), word));
    }

    PrivateAvahi* avahi = &PrivateAvahi::shared();
    asio::io_context mainLoop;
    asio::executor_work_guard<asio::io_context::executor_type> idle{mainLoop.get_executor()};
    AsioMainQueue mainQueue{mainLoop};
    std::vector<std::uint32_t> words;
    std::shared_ptr<CVC_NetworkClient> client;
};

TEST_F(NetworkClientAvahiTest, DiscoveredPeersDeliverWordsUntilTheyStop) {
    PeerProcess first({"first peer", "0x10000005"});
    PeerProcess second({"second peer", "0x10001249", "0x2A"});
    ASSERT_TRUE(pumpUntil([&] { return count(0x10000005) == 1 && count(0x2A) == 1; }));
    EXPECT_TRUE(client->connected());
    EXPECT_EQ(words.size(), 3U);
    EXPECT_EQ(first.linesStartingWith("client connected"), 1U);

    first.stop();
    second.stop();
    ASSERT_TRUE(pumpUntil([&] { return !client->connected(); }));
}

TEST_F(NetworkClientAvahiTest, DaemonRestartKeepsTheConnectionAndAddsNoSecondOne) {
    PeerProcess peer({"steady", "--interval", "50", "--count", "0", "0x7"});
    ASSERT_TRUE(pumpUntil([&] { return count(7) >= 1; }));
    avahi->restartDaemon();
    ASSERT_TRUE(peer.waitForLines("ready", 2));
    const std::size_t before = words.size();
    ASSERT_TRUE(pumpUntil([&] { return words.size() > before + 20; }));
    // Long enough for a duplicate record to have been resolved and connected.
    pumpUntil([] { return false; }, 3s);
    EXPECT_TRUE(client->connected());
    EXPECT_EQ(peer.linesStartingWith("client connected"), 1U);
}

TEST_F(NetworkClientAvahiTest, PausedAndResumedItFindsTheSamePeerAgain) {
    PeerProcess peer({"napping peer"});
    ASSERT_TRUE(pumpUntil([&] { return client->connected(); }));
    client->setRunning(false);
    ASSERT_TRUE(pumpUntil([&] { return !client->connected(); }));
    ASSERT_TRUE(peer.waitForLines("client disconnected"));
    client->setRunning(true);
    EXPECT_TRUE(pumpUntil([&] { return client->connected(); }));
    EXPECT_TRUE(peer.waitForLines("client connected", 2));
}

}  // namespace
}  // namespace corvane::testing
