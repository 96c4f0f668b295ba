// The client on a host of a network in a box (tests/support/hosts), peers on other
// hosts, found over real multicast; faults made with nftables and iproute2. Each test
// prints its figures as "[ figure ] ..." lines.

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <numeric>
#include <string>
#include <vector>

#include "network/avahi/avahi_client_test.h"
#include "support/child_process.h"
#include "support/peer_process.h"
#include "support/wait_until.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Words = std::vector<std::uint32_t>;

// The box, up while the object lives; meanwhile this thread, and every thread it starts,
// is on the client's host "c". The process talks to that host's system bus only.
class HostNetwork {
  public:
    explicit HostNetwork(std::vector<std::string> hosts)
        : box_((hosts.insert(hosts.begin(), {HOSTS_SCRIPT, "up", "c"}), hosts)) {
        ready_ = box_.readLine(30s) == "ready";
        const int client = open("/run/netns/cvh-c", O_RDONLY | O_CLOEXEC);
        ready_ = ready_ && client >= 0 && setns(client, CLONE_NEWNET) == 0;
        close(client);
    }
    ~HostNetwork() {
        setns(home_, CLONE_NEWNET);
        close(home_);
        box_.terminate(20s);
    }
    bool ready() const { return ready_; }

    // Runs the shell command `command` on `host`; whether it succeeded.
    static bool run(const std::string& host, const std::string& command) {
        return ChildProcess::run({HOSTS_SCRIPT, "run", host, "sh", "-ec", command}) == 0;
    }
    static PeerProcess peer(const std::string& host, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {HOSTS_SCRIPT, "run", host, CORVANE_PEER_PATH});
        return PeerProcess(arguments);
    }

  private:
    int home_ = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    ChildProcess box_;
    bool ready_ = false;
};

// Drops TCP packets on `host` both ways that match `match` (an nftables expression).
bool dropTcp(const std::string& host, const std::string& match) {
    return HostNetwork::run(host,
                            "nft add table inet faults; for hook in input output; do "
                            "nft add chain inet faults $hook \"{ type filter hook $hook "
                            "priority 0; }\"; nft add rule inet faults $hook 'meta l4proto "
                            "tcp " +
                                match + " drop'; done");
}

// The client host's TCP connections in `state` (as ss names it), one line each.
std::vector<std::string> connections(const std::string& state) {
    ChildProcess ss({"ss", "-Htn", "state", state});
    std::vector<std::string> lines;
    while (auto line = ss.readLine(5s)) {
        lines.push_back(*line);
    }
    return lines;
}

// The words 1 to `count`, and corvane-peer's `arguments` followed by them.
std::pair<Words, std::vector<std::string>> counting(std::uint32_t count,
                                                    std::vector<std::string> arguments) {
    Words words(count);
    std::iota(words.begin(), words.end(), 1U);
    for (const std::uint32_t word : words) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%x", word);
        arguments.emplace_back(text);
    }
    return {words, arguments};
}

class HostsTest : public AvahiClientTest {
  protected:
    static void SetUpTestSuite() {
        setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/tmp/corvane-hosts/c/bus", 1);
    }

    // Time from the peer's announcement (its "ready" line, printed once its service is
    // established) to `word` from it; a minute when it never comes. Also prints the time
    // from the peer's start, which includes its probing.
    std::chrono::milliseconds announcementToWord(PeerProcess& peer, std::uint32_t word,
                                                 const std::string& what) {
        const auto started = Clock::now();
        if (!runUntil([&] { return peer.lines("ready") == 1; })) {
            return 1min;
        }
        const auto announced = Clock::now();
        if (!runUntil([&] { return received(word) > 0; })) {
            return 1min;
        }
        figure(what + " (from the peer's start)", since(started));
        figure(what, since(announced));
        return since(announced);
    }
    static std::chrono::milliseconds since(Clock::time_point start) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    }
    static void figure(const std::string& what, std::chrono::milliseconds time) {
        std::printf("[ figure ] %s: %lld ms\n", what.c_str(), static_cast<long long>(time.count()));
    }
};

// The client host has a second interface with a link-local address of its own, so a
// link-local peer is reached only through the interface it was found on.
TEST_F(HostsTest, PeersOnOtherHostsAreFoundOverMulticastAlsoOnIPv6LinkLocalOnly) {
    HostNetwork box({"p1", "p2:6"});
    ASSERT_TRUE(box.ready());
    ASSERT_TRUE(HostNetwork::run("c",
                                 "ip link add eth1 type veth peer name eth2 && "
                                 "ip link set eth1 up && ip link set eth2 up"));
    startClient();
    PeerProcess dual = HostNetwork::peer("p1", {"--listen", "::", "dual", "0x1"});
    announcementToWord(dual, 1, "announcement to connected");
    PeerProcess v6 = HostNetwork::peer("p2", {"--listen", "::", "v6 only", "0x2"});
    announcementToWord(v6, 2, "announcement to connected, IPv6 link-local only");
    ASSERT_EQ(v6.lines("client connected", 1), 1U);
    EXPECT_EQ(v6.matching("client connected fe80::").size(), 1U);
    EXPECT_EQ(words, (Words{1, 2}));
    EXPECT_EQ(dual.lines("client connected"), 1U);
}

TEST_F(HostsTest, AFamilyDroppedOnThePathCostsAStaggerAndBothTheDeadline) {
    HostNetwork box({"p1", "p2", "p3"});
    ASSERT_TRUE(box.ready());
    ASSERT_TRUE(dropTcp("p1", "meta nfproto ipv6"));
    ASSERT_TRUE(dropTcp("p2", "meta nfproto ipv4"));
    ASSERT_TRUE(dropTcp("p3", ""));
    startClient();
    PeerProcess noV6 = HostNetwork::peer("p1", {"--listen", "::", "no v6", "0x6"});
    const auto overV4 =
        announcementToWord(noV6, 6, "IPv6 dropped: announcement to connected over IPv4");
    PeerProcess noV4 = HostNetwork::peer("p2", {"--listen", "::", "no v4", "0x4"});
    const auto overV6 =
        announcementToWord(noV4, 4, "IPv4 dropped: announcement to connected over IPv6");
    EXPECT_LT(overV4, PeerStream::attemptDeadline / 2);
    EXPECT_LT(overV6, PeerStream::attemptDeadline / 2);
    ASSERT_EQ(noV6.lines("client connected", 1), 1U);
    ASSERT_EQ(noV4.lines("client connected", 1), 1U);
    EXPECT_EQ(noV6.matching("client connected ::ffff:169.254.").size(), 1U);
    EXPECT_EQ(noV4.matching("client connected fe80::").size(), 1U);

    PeerProcess silent = HostNetwork::peer("p3", {"--listen", "::", "silent", "0x3"});
    ASSERT_TRUE(waitUntil([] { return !connections("syn-sent").empty(); }, 20s, 20ms));
    const auto trying = Clock::now();
    ASSERT_TRUE(waitUntil([] { return connections("syn-sent").empty(); }, 30s, 100ms));
    figure("every address silent: attempts given up after", since(trying));
    EXPECT_LT(since(trying), PeerStream::attemptDeadline + 2s);
}

// Words cross the outage in the peer's send buffer: all arrive once, in order.
TEST_F(HostsTest, LinkDownForTenSecondsLosesAndRepeatsNoWord) {
    HostNetwork box({"p1"});
    ASSERT_TRUE(box.ready());
    startClient();
    const auto [sent, arguments] =
        counting(320, {"--listen", "::", "--interval", "50", "flapping"});
    PeerProcess peer = HostNetwork::peer("p1", arguments);
    ASSERT_TRUE(runUntil([&] { return words.size() >= 20; }));
    ASSERT_TRUE(HostNetwork::run("switch", "ip link set to-p1 down"));
    runFor(10s);
    ASSERT_TRUE(HostNetwork::run("switch", "ip link set to-p1 up"));
    const auto back = Clock::now();
    ASSERT_TRUE(runUntil([&] { return words.size() >= sent.size(); }, 40s));
    figure("link back to the last word", since(back));
    EXPECT_EQ(words, sent);
    EXPECT_EQ(peer.lines("client connected"), 1U);
    EXPECT_EQ(changes, std::vector<bool>{true});
}

TEST_F(HostsTest, TwentyPercentLossDeliversABurstOnceInOrderAndKeepsTheSlowPeer) {
    HostNetwork box({"p1"});
    ASSERT_TRUE(box.ready());
    ASSERT_TRUE(dropTcp("p1", "numgen random mod 100 < 20"));
    startClient();
    const auto [sent, arguments] = counting(1000, {"--listen", "::", "lossy"});
    PeerProcess peer = HostNetwork::peer("p1", arguments);
    announcementToWord(peer, 1, "20 % loss: announcement to the first word");
    const auto start = Clock::now();
    ASSERT_TRUE(runUntil([&] { return words.size() >= sent.size(); }, 60s));
    figure("20 % loss: first to last of 1000 words", since(start));
    EXPECT_EQ(words, sent);
    EXPECT_EQ(peer.lines("client connected"), 1U);
    EXPECT_EQ(peer.lines("client disconnected"), 0U);
    EXPECT_EQ(changes, std::vector<bool>{true});
}

TEST_F(HostsTest, RenumberedPeerIsReachedAtItsNewAddressAndTheOldConnectionGoes) {
    HostNetwork box({"p1:4"});
    ASSERT_TRUE(box.ready());
    startClient();
    PeerProcess peer = HostNetwork::peer("p1", {"--any", "moving", "0x7"});
    ASSERT_TRUE(runUntil([&] { return received(7) == 1; }));
    ASSERT_TRUE(HostNetwork::run(
        "p1",
        "sysctl -qw net.ipv4.conf.eth0.promote_secondaries=1 && "
        "ip address add 169.254.0.102/16 dev eth0 && ip address del 169.254.0.2/16 dev eth0"));
    const auto renumbered = Clock::now();
    ASSERT_TRUE(runUntil([&] { return received(7) == 2; }, 30s));
    figure("renumbered to connected at the new address", since(renumbered));
    const std::vector<std::string> established = connections("established");
    ASSERT_EQ(established.size(), 1U) << ::testing::PrintToString(established);
    EXPECT_NE(established[0].find("169.254.0.102:"), std::string::npos) << established[0];
}

TEST_F(HostsTest, VanishedPeerTurnsConnectedOffWithinOneAndAHalfKeepAlivesAndBackOnANewOne) {
    constexpr auto keepAlive = 2s;
    HostNetwork box({"p1", "p2"});
    ASSERT_TRUE(box.ready());
    startClient(keepAlive);
    PeerProcess gone = HostNetwork::peer("p1", {"--listen", "::", "leaving", "0x1"});
    ASSERT_TRUE(runUntil([&] { return received(1) == 1; }));
    // The cable first, so that no FIN nor reset gets out as the host goes.
    ASSERT_TRUE(HostNetwork::run("switch", "ip link del to-p1"));
    const auto vanished = Clock::now();
    ASSERT_TRUE(HostNetwork::run(
        "switch", "ip netns pids cvh-p1 | xargs -r kill -KILL && ip netns del cvh-p1"));
    ASSERT_TRUE(runUntil([&] { return !client->connected(); }));
    const auto noticed = since(vanished);
    figure("vanished to not connected (keep-alive 2 s)", noticed);
    EXPECT_LT(noticed, keepAlive * 3 / 2 + 1s);

    PeerProcess next = HostNetwork::peer("p2", {"--listen", "::", "coming", "0x2"});
    ASSERT_TRUE(runUntil([&] { return received(2) == 1; }));
    EXPECT_TRUE(client->connected());
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true}));
}

}  // namespace
}  // namespace corvane::testing
