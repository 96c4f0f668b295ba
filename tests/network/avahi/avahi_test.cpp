#include <gtest/gtest.h>

#include <string>

#include "network/avahi/avahi_client_test.h"
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

// The Avahi discovery on its own, reporting to `listener`, beside the client; both against
// the private daemon.
class AvahiTest : public AvahiClientTest {
  protected:
    void SetUp() override { ASSERT_TRUE(avahi.running()) << "no private avahi-daemon"; }

    void startBrowsing() {
        discovery = avahi::makeAvahiDiscovery(loop, listener);
        discovery->search("_corvane2._tcp", "");
    }

    PrivateAvahi& avahi = PrivateAvahi::shared();
    RecordingListener listener;
    std::unique_ptr<ServiceDiscovery> discovery;
};

// The client beside the discovery keeps its one connection to the peer that stays.
TEST_F(AvahiTest, DaemonRestartKeepsLivePeersAndTheirConnectionOnceAndDropsGoneOnes) {
    PeerProcess staying = startPeer({"staying", "--interval", "50", "--count", "0", "0x7"});
    PeerProcess leaving = startPeer({"leaving", "1"});
    // Advertised, not still registering when the daemon goes.
    ASSERT_GE(staying.lines("ready", 1), 1U);
    ASSERT_GE(leaving.lines("ready", 1), 1U);
    startBrowsing();
    startClient();
    ASSERT_TRUE(runUntil([&] {
        return listener.count("found staying") == 1 && listener.count("found leaving") == 1 &&
               received(7) >= 1;
    }));

    avahi.stopDaemon();
    runFor(300ms);
    leaving.stop();
    ASSERT_TRUE(avahi.startDaemon());
    ASSERT_GE(staying.lines("ready", 2), 2U);
    ASSERT_TRUE(runUntil([&] { return listener.count("removed leaving") == 1; }));
    const std::size_t before = words.size();
    // Long enough for a duplicate record to have been resolved and connected.
    runFor(3s);
    EXPECT_GT(words.size(), before + 20);
    EXPECT_EQ(listener.count("found staying"), 1U);
    EXPECT_EQ(listener.count("removed staying"), 0U);
    EXPECT_EQ(staying.lines("client connected"), 1U);
    EXPECT_EQ(changes, std::vector<bool>{true});

    // The new daemon answers resolves of the service found before the restart.
    const auto stayingService =
        std::ranges::find(listener.services, std::string("staying"), &DiscoveredService::name);
    ASSERT_NE(stayingService, listener.services.end());
    (*stayingService)->resolve(5s);
    ASSERT_TRUE(runUntil([&] { return listener.count("resolved staying") == 2; }))
        << ::testing::PrintToString(listener.events);
}

// Also a name that needs escaping, found once, and removed once its peer says goodbye.
TEST_F(AvahiTest, BrowsingStartsWhenTheDaemonAppearsAndAStoppedPeerIsRemoved) {
    const std::string odd = "Büro peer. 2 (test)";
    avahi.stopDaemon();
    startBrowsing();
    runFor(300ms);
    ASSERT_TRUE(avahi.startDaemon());
    PeerProcess peer = startPeer({odd, "1"});
    ASSERT_TRUE(runUntil([&] { return listener.count("resolved " + odd) == 1; }));
    peer.stop();
    ASSERT_TRUE(runUntil([&] { return listener.count("removed " + odd) == 1; }));
    EXPECT_EQ(listener.count("found " + odd), 1U);
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
