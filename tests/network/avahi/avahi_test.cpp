#include <gtest/gtest.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <memory>
#include <string>
#include <vector>

#include "network/asio_main_queue.h"
#include "network/avahi/avahi_discovery.h"
#include "network/cvc_network_client.h"
#include "support/asio_loop.h"
#include "support/peer_process.h"
#include "support/private_avahi.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

// corvane-peer with these arguments.
PeerProcess startPeer(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), CORVANE_PEER_PATH);
    return PeerProcess(arguments);
}

// Records what the discovery reports and resolves every service found.
class RecordingListener final : public ServiceDiscoveryListener {
  public:
    std::vector<std::string> events;
    std::vector<std::shared_ptr<DiscoveredService>> services;

    void serviceFound(const std::shared_ptr<DiscoveredService>& service) override {
        events.push_back("found " + service->name());
        services.push_back(service);
        service->resolve(5s);
    }
    void serviceRemoved(const std::shared_ptr<DiscoveredService>& service) override {
        events.push_back("removed " + service->name());
    }
    // "resolved NAME" when the resolve found 127.0.0.1 among its addresses.
    void serviceResolved(const std::shared_ptr<DiscoveredService>& service) override {
        const std::vector<asio::ip::tcp::endpoint> endpoints = service->endpoints();
        const bool loopback = std::ranges::any_of(endpoints, [](const auto& endpoint) {
            return endpoint.address() == asio::ip::address_v4::loopback();
        });
        events.push_back((loopback ? "resolved " : "resolved elsewhere ") + service->name());
    }
    void serviceDidNotResolve(const std::shared_ptr<DiscoveredService>& service) override {
        events.push_back("failed " + service->name());
    }
    std::size_t count(const std::string& event) const {
        return std::size_t(std::ranges::count(events, event));
    }
};

// The Avahi discovery on its own, reporting to `listener`, and a client using it; both
// against the private daemon. The test's loop is also the client's main queue.
class AvahiTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(avahi.running()) << "no private avahi-daemon"; }
    void TearDown() override {
        const std::weak_ptr<CVC_NetworkClient> weak = std::exchange(client, nullptr);
        EXPECT_TRUE(runUntil([&] { return weak.expired(); }));
    }

    void startBrowsing() {
        discovery = avahi::makeAvahiDiscovery(loop, listener);
        discovery->search("_corvane2._tcp", "");
    }
    void startClient() {
        client = CVC_NetworkClient::create(mainQueue, avahi::makeAvahiDiscovery);
        client->setReceiveCommand([this](std::uint32_t word) { words.push_back(word); });
    }
    template <typename Condition>
    bool runUntil(Condition done, std::chrono::milliseconds timeout = 15s) {
        return runLoopUntil(loop, done, timeout);
    }
    void runFor(std::chrono::milliseconds time) {
        runUntil([] { return false; }, time);
    }
    std::size_t received(std::uint32_t word) const {
        return std::size_t(std::ranges::count(words, word));
    }

    PrivateAvahi& avahi = PrivateAvahi::shared();
    asio::io_context loop;
    asio::executor_work_guard<asio::io_context::executor_type> idle{loop.get_executor()};
    AsioMainQueue mainQueue{loop};
    RecordingListener listener;
    std::unique_ptr<ServiceDiscovery> discovery;
    std::vector<std::uint32_t> words;
    std::shared_ptr<CVC_NetworkClient> client;
};

TEST_F(AvahiTest, PeersAreFoundOnceDeliverTheirWordsAndAreRemovedWhenTheyStop) {
    const std::string odd = "Büro peer. 2 (test)";
    startClient();
    startBrowsing();
    PeerProcess first = startPeer({odd, "0x10000005"});
    PeerProcess second = startPeer({"second peer", "0x10001249", "0x2A"});
    ASSERT_TRUE(runUntil([&] {
        return received(0x10000005) == 1 && received(0x2A) == 1 &&
               listener.count("resolved " + odd) == 1;
    }));
    EXPECT_TRUE(client->connected());
    EXPECT_EQ(words.size(), 3U);
    EXPECT_EQ(first.lines("client connected"), 1U);

    first.stop();
    second.stop();
    ASSERT_TRUE(runUntil([&] { return !client->connected(); }));
    ASSERT_TRUE(runUntil([&] { return listener.count("removed " + odd) == 1; }));
    EXPECT_EQ(listener.count("found " + odd), 1U);
}

TEST_F(AvahiTest, DaemonRestartKeepsLivePeersOnceAndDropsGoneOnes) {
    PeerProcess staying = startPeer({"staying", "1"});
    PeerProcess leaving = startPeer({"leaving", "1"});
    // Advertised, not still registering when the daemon goes.
    ASSERT_GE(staying.lines("ready", 1), 1U);
    ASSERT_GE(leaving.lines("ready", 1), 1U);
    startBrowsing();
    ASSERT_TRUE(runUntil([&] {
        return listener.count("found staying") == 1 && listener.count("found leaving") == 1;
    }));

    avahi.stopDaemon();
    runFor(300ms);
    leaving.stop();
    ASSERT_TRUE(avahi.startDaemon());
    ASSERT_GE(staying.lines("ready", 2), 2U);
    ASSERT_TRUE(runUntil([&] { return listener.count("removed leaving") == 1; }));
    runFor(1s);
    EXPECT_EQ(listener.count("found staying"), 1U);
    EXPECT_EQ(listener.count("removed staying"), 0U);

    // The new daemon answers resolves of the service found before the restart.
    const auto stayingService =
        std::ranges::find(listener.services, std::string("staying"), &DiscoveredService::name);
    ASSERT_NE(stayingService, listener.services.end());
    (*stayingService)->resolve(5s);
    ASSERT_TRUE(runUntil([&] { return listener.count("resolved staying") == 2; }))
        << ::testing::PrintToString(listener.events);
}

TEST_F(AvahiTest, BrowsingStartsWhenTheDaemonAppears) {
    avahi.stopDaemon();
    startBrowsing();
    runFor(300ms);
    ASSERT_TRUE(avahi.startDaemon());
    PeerProcess peer = startPeer({"late", "1"});
    ASSERT_TRUE(runUntil([&] { return listener.count("resolved late") == 1; }));
}

TEST_F(AvahiTest, ClientKeepsItsOneConnectionThroughADaemonRestartAndRedoesItAfterSleep) {
    PeerProcess peer = startPeer({"steady peer", "--interval", "50", "--count", "0", "0x7"});
    startClient();
    ASSERT_TRUE(runUntil([&] { return received(7) >= 1; }));
    ASSERT_TRUE(avahi.restartDaemon());
    ASSERT_GE(peer.lines("ready", 2), 2U);
    const std::size_t before = words.size();
    ASSERT_TRUE(runUntil([&] { return words.size() > before + 20; }));
    // Long enough for a duplicate record to have been resolved and connected.
    runFor(3s);
    EXPECT_TRUE(client->connected());
    EXPECT_EQ(peer.lines("client connected"), 1U);

    client->setRunning(false);
    ASSERT_TRUE(runUntil([&] { return !client->connected(); }));
    ASSERT_GE(peer.lines("client disconnected", 1), 1U);
    client->setRunning(true);
    EXPECT_TRUE(runUntil([&] { return client->connected(); }));
    EXPECT_GE(peer.lines("client connected", 2), 2U);
}

// Taken, not local, link-local without an interface, not an address.
TEST(PeerTool, AnAddressItCannotListenOnEndsItWithOneLineAndStatus2) {
    asio::io_context io;
    const asio::ip::tcp::acceptor taken(io, {asio::ip::address_v4::loopback(), 0});
    const std::string port = std::to_string(taken.local_endpoint().port());
    for (const std::string& listen : {"127.0.0.1 --port " + port, std::string("192.0.2.1"),
                                      std::string("fe80::1"), std::string("localhost")}) {
        ChildProcess peer(
            {"sh", "-c", "exec \"$0\" --listen " + listen + " name 1 2>&1", CORVANE_PEER_PATH});
        std::vector<std::string> lines;
        while (auto line = peer.readLine(5s)) {
            lines.push_back(*line);
        }
        EXPECT_EQ(peer.wait(5s), 2) << listen;
        EXPECT_EQ(lines.size(), 1U) << ::testing::PrintToString(lines);
    }
}

}  // namespace
}  // namespace corvane::testing
