#include <gtest/gtest.h>

#include <string>

#include "network/avahi/asio_avahi_poll.h"
#include "network/avahi/avahi_discovery.h"
#include "network/client_fixture.h"
#include "network/witnessed_discovery.h"
#include "network/descriptors_used_up.h"
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

// The client on the Avahi discovery, against the private daemon on loopback.
class AvahiTest : public ClientFixture<> {
  protected:
    void SetUp() override { ASSERT_TRUE(avahi.running()) << "no private avahi-daemon"; }
    void startClient() { ClientFixture::startClient(witness.wrap(avahi::makeAvahiDiscovery)); }

    PrivateAvahi& avahi = PrivateAvahi::shared();
    Witness witness{loop};
};

// Also a name that needs escaping, found once, and removed once its peer says goodbye.
TEST_F(AvahiTest, BrowsingStartsWhenTheDaemonAppearsAndAStoppedPeerIsRemoved) {
    const std::string odd = "Büro peer. 2 (test)";
    avahi.stopDaemon();
    startClient();
    runFor(300ms);
    ASSERT_TRUE(avahi.startDaemon());
    PeerProcess peer = startPeer({odd, "0x5"});
    ASSERT_TRUE(runUntil([&] { return received(5) == 1; }));
    peer.stop();
    ASSERT_TRUE(runUntil([&] { return witness.count("removed " + odd) == 1; }));
    EXPECT_EQ(witness.count("found " + odd), 1U);
    EXPECT_FALSE(client->connected());
}

// Avahi is told that a watch cannot be made; nothing is thrown at it.
TEST(AsioAvahiPoll, AWatchThatCannotBeMadeWithoutDescriptorsIsNull) {
    asio::io_context loop;
    const avahi::AsioAvahiPoll poll(loop);
    const AvahiPoll* api = poll.api();
    const auto ignore = [](AvahiWatch*, int, AvahiWatchEvent, void*) {};
    // The first watch makes the loop's own descriptors.
    api->watch_free(api->watch_new(api, STDERR_FILENO, AVAHI_WATCH_IN, ignore, nullptr));
    const DescriptorsUsedUp full;
    EXPECT_EQ(api->watch_new(api, STDERR_FILENO, AVAHI_WATCH_IN, ignore, nullptr), nullptr);
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
