// The client on a host of a network in a box (tests/support/hosts), peers on other
// hosts, found over real multicast; faults made with nftables and iproute2. The cases of
// discovery run once per discovery the client can use: through the host's avahi-daemon,
// and with the built-in browser on a host without one; those of finding peers and hearing
// their goodbyes also with the built-in browser beside an avahi-daemon, sharing port
// 5353. The cases of the TCP connection itself, and those of avahi-daemon starting late
// and restarting, run through Avahi alone. Each prints its figures as "[ figure ] ..." lines.

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <sstream>
#include <string>
#include <vector>

#include "network/avahi/avahi_discovery.h"
#include "network/client_fixture.h"
#include "network/mdns/mdns_discovery.h"
#include "network/mdns/posix/posix_interfaces.h"
#include "network/witnessed_discovery.h"
#include "support/child_process.h"
#include "support/peer_process.h"
#include "support/wait_until.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Words = std::vector<std::uint32_t>;

// A discovery the client can be built with, and whether an avahi-daemon runs on the
// client's host (the one it needs, or one beside it).
struct Discovery {
    std::string name;
    ServiceDiscoveryFactory factory;
    bool avahiDaemon;
};
void PrintTo(const Discovery& discovery, std::ostream* out) {
    *out << discovery.name;
}

// The box, up while the object lives: the client's host "c" and `peers`; meanwhile this
// thread, and every thread it starts, is on "c".
class HostNetwork {
  public:
    HostNetwork(const Discovery& discovery, std::vector<std::string> peers)
        : box_([&] {
              peers.insert(peers.begin(),
                           {HOSTS_SCRIPT, "up", discovery.avahiDaemon ? "c" : "c:bare"});
              return peers;
          }()) {
        ready_ = box_.readLine(60s) == "ready";
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
    // Stops or starts the avahi-daemon of `host`, waiting until it is gone or answers.
    static bool avahi(const std::string& host, const std::string& action) {
        return ChildProcess::run({HOSTS_SCRIPT, "avahi", host, action}) == 0;
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

// Drops packets of `protocol` on `host` both ways that match `match` (an nftables
// expression).
bool drop(const std::string& host, const std::string& protocol, const std::string& match = "") {
    return HostNetwork::run(host,
                            "nft add table inet faults; for hook in input output; do "
                            "nft add chain inet faults $hook \"{ type filter hook $hook "
                            "priority 0; }\"; nft add rule inet faults $hook 'meta l4proto " +
                                protocol + " " + match + " drop'; done");
}
bool undoFaults(const std::string& host) {
    return HostNetwork::run(host, "nft delete table inet faults");
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

// Bytes the client host has written on its one established connection that are not
// acknowledged yet (ss's Send-Q).
long unacknowledged() {
    const std::vector<std::string> established = connections("established");
    long receiveQueue = 0;
    long sendQueue = 0;
    return established.size() == 1 &&
                   (std::istringstream(established[0]) >> receiveQueue >> sendQueue)
               ? sendQueue
               : 0;
}

class HostsTest : public ClientFixture<::testing::TestWithParam<Discovery>> {
  protected:
    static void SetUpTestSuite() { setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:abstract=cvh-bus", 1); }
    void SetUp() override {
        if (geteuid() != 0) {
            GTEST_SKIP() << "the network in a box needs root, for its network namespaces";
        }
    }
    // The box with `peers` beside the client's host, up until the end of the test, after the
    // client has gone; whether it came up.
    bool boxWith(std::vector<std::string> peers) {
        return box.emplace(GetParam(), std::move(peers)).ready();
    }
    void startClient(CVC_NetworkClient::Options options = {}) {
        ClientFixture::startClient(witness.wrap(GetParam().factory), std::move(options));
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

    std::optional<HostNetwork> box;
    Witness witness{loop};
};

// The cases of finding peers and hearing their goodbyes, run with one more discovery.
class FindingTest : public HostsTest {};
// The cases of the connection itself, whatever found the peer, and those of avahi-daemon.
class ThroughAvahiTest : public HostsTest {};

// The client host has a second interface with a link-local address of its own, so a
// link-local peer is reached only through the interface it was found on. A peer gone with
// a goodbye is not tried again; one restarted on its name at once is connected again.
TEST_P(FindingTest, PeersAreFoundAlsoOnIPv6LinkLocalOnlyAndOnlyThoseStillListedAreTriedAgain) {
    ASSERT_TRUE(boxWith({"p1", "p2:6"}));
    ASSERT_TRUE(HostNetwork::run("c",
                                 "ip link add eth1 type veth peer name eth2 && "
                                 "ip link set eth1 up && ip link set eth2 up"));
    startClient({.resolveTimeout = 1s, .retryFirst = 100ms, .retryLongest = 200ms});
    PeerProcess leaving = HostNetwork::peer("p1", {"--listen", "::", "leaving", "0x1"});
    announcementToWord(leaving, 1, "announcement to connected");
    PeerProcess first = HostNetwork::peer("p2", {"--listen", "::", "v6 only", "0x2"});
    announcementToWord(first, 2, "announcement to connected, IPv6 link-local only");
    ASSERT_EQ(first.lines("client connected", 1), 1U);
    EXPECT_EQ(first.matching("client connected fe80::").size(), 1U);
    EXPECT_EQ(words, (Words{1, 2}));
    EXPECT_EQ(leaving.lines("client connected"), 1U);

    leaving.stop();
    first.stop();
    const auto stopped = Clock::now();
    PeerProcess second = HostNetwork::peer("p2", {"--listen", "::", "v6 only", "0x7"});
    ASSERT_TRUE(runUntil([&] { return received(7) == 1; }));
    figure("restarted to connected again", since(stopped));
    EXPECT_EQ(second.lines("client connected"), 1U);

    ASSERT_TRUE(runUntil([&] { return witness.count("removed leaving") == 1; }));
    const auto removal =
        std::ptrdiff_t(std::ranges::find(witness.lines, "removed leaving") - witness.lines.begin());
    const auto goodbyeToRemoved = std::chrono::duration_cast<std::chrono::milliseconds>(
        witness.times[std::size_t(removal)] - stopped);
    figure("goodbye to removed", goodbyeToRemoved);
    EXPECT_LT(goodbyeToRemoved, 2s);
    runFor(3s);  // many times the longest wait, and more than a resolve's deadline
    EXPECT_EQ(std::count_if(witness.lines.begin() + removal, witness.lines.end(),
                            [](const std::string& line) { return line.ends_with(" leaving"); }),
              1)
        << ::testing::PrintToString(witness.lines);
}

TEST_P(ThroughAvahiTest, AFamilyDroppedOnThePathCostsAStaggerAndBothTheDeadline) {
    ASSERT_TRUE(boxWith({"p1", "p2", "p3"}));
    ASSERT_TRUE(drop("p1", "tcp", "meta nfproto ipv6"));
    ASSERT_TRUE(drop("p2", "tcp", "meta nfproto ipv4"));
    ASSERT_TRUE(drop("p3", "tcp"));
    startClient();
    PeerProcess noV6 = HostNetwork::peer("p1", {"--listen", "::", "no v6", "0x6"});
    const auto overV4 =
        announcementToWord(noV6, 6, "IPv6 dropped: announcement to connected over IPv4");
    PeerProcess noV4 = HostNetwork::peer("p2", {"--listen", "::", "no v4", "0x4"});
    const auto overV6 =
        announcementToWord(noV4, 4, "IPv4 dropped: announcement to connected over IPv6");
    EXPECT_LT(overV4, PeerConnector::attemptDeadline / 2);
    EXPECT_LT(overV6, PeerConnector::attemptDeadline / 2);
    ASSERT_EQ(noV6.lines("client connected", 1), 1U);
    ASSERT_EQ(noV4.lines("client connected", 1), 1U);
    EXPECT_EQ(noV6.matching("client connected ::ffff:169.254.").size(), 1U);
    EXPECT_EQ(noV4.matching("client connected fe80::").size(), 1U);

    PeerProcess silent = HostNetwork::peer("p3", {"--listen", "::", "silent", "0x3"});
    ASSERT_TRUE(waitUntil([] { return !connections("syn-sent").empty(); }, 20s, 20ms));
    const auto trying = Clock::now();
    ASSERT_TRUE(waitUntil([] { return connections("syn-sent").empty(); }, 30s, 100ms));
    figure("every address silent: attempts given up after", since(trying));
    EXPECT_LT(since(trying), PeerConnector::attemptDeadline + 2s);
}

// The lower bound of the unacknowledged limit (half a keep-alive period): a keep-alive
// goes out into a silence and stays unacknowledged for half the limit (the silence ends
// before the retransmission due 3 s after it was written); meanwhile the peer's words wait
// in its send buffer. All arrive once, in order, on the one connection. Then silent past
// the limit, the peer is let go within one and a half keep-alive periods; still advertised,
// it is tried again with the waits of a real client (1 s doubling to 30 s), each try given
// up after its deadline.
TEST_P(ThroughAvahiTest, AShortSilenceLosesNoWordAndALongOneIsOverWithin35SecondsOfBeingHeard) {
    constexpr auto keepAlive = 8s;
    constexpr auto limit = keepAlive / 2;
    ASSERT_TRUE(boxWith({"p1"}));
    startClient({.keepAliveInterval = keepAlive});
    Words sent;
    for (int round = 0; round < 200; ++round) {
        sent.insert(sent.end(), {1, 2, 3});
    }
    PeerProcess peer = HostNetwork::peer(
        "p1", {"--listen", "::", "--interval", "50", "--count", "200", "steady", "1", "2", "3"});
    ASSERT_TRUE(runUntil([&] { return peer.lines("keep-alive") == 1; }, 30s));
    runFor(keepAlive - 1s);  // the silence starts a second before the next keep-alive
    ASSERT_TRUE(drop("p1", "tcp"));
    ASSERT_TRUE(waitUntil([] { return unacknowledged() > 0; }, 3s, 20ms));
    const auto written = Clock::now();
    runFor(limit / 2);
    ASSERT_GT(unacknowledged(), 0);
    ASSERT_TRUE(undoFaults("p1"));
    figure("of it with a keep-alive unacknowledged (limit 4000 ms)", since(written));
    ASSERT_TRUE(runUntil([&] { return words.size() >= sent.size(); }, 40s));
    EXPECT_EQ(words, sent);
    EXPECT_EQ(peer.lines("client connected"), 1U);
    EXPECT_EQ(changes, std::vector<bool>{true});

    ASSERT_TRUE(drop("p1", "tcp"));
    const auto silent = Clock::now();
    ASSERT_TRUE(runUntil([&] { return !client->connected(); }));
    figure("silent to not connected (keep-alive 8 s)", since(silent));
    EXPECT_LT(since(silent), keepAlive * 3 / 2 + 1s);
    runFor(15s);
    ASSERT_TRUE(undoFaults("p1"));
    const auto heard = Clock::now();
    ASSERT_TRUE(runUntil([&] { return words.size() > sent.size(); }, 40s));
    figure("heard again to connected again", since(heard));
    EXPECT_LT(since(heard), 35s);
    EXPECT_EQ(words[sent.size()], 1U);
    EXPECT_EQ(connections("established").size(), 1U);
    EXPECT_EQ(peer.lines("client connected"), 2U);
    EXPECT_EQ(changes, (std::vector<bool>{true, false, true}));
}

// A peer cut off from multicast DNS, its connection still working, is removed once its
// records (4 s here) run out, and its connection closed with it. Another, given a second
// address, keeps its connection on the first; withdrawing that one moves it.
TEST_P(HostsTest, APeerGoneSilentIsRemovedWhenItsRecordsRunOutAndARenumberedOneIsFollowed) {
    constexpr auto life = 4s;
    ASSERT_TRUE(boxWith({"p1:4", "p2"}));
    startClient();
    PeerProcess moving = HostNetwork::peer("p1", {"--any", "moving", "0x7"});
    PeerProcess fading = HostNetwork::peer("p2", {"--listen", "::", "--ttl", "4", "fading", "0x8"});
    ASSERT_TRUE(runUntil([&] { return received(7) == 1 && received(8) == 1; }));
    runFor(life * 3 / 2);  // kept alive by their refreshes meanwhile
    ASSERT_EQ(witness.count("removed fading"), 0U);
    ASSERT_TRUE(drop("p2", "udp"));
    const auto silent = Clock::now();
    ASSERT_TRUE(runUntil([&] { return witness.count("removed fading") == 1; }));
    figure("silent to removed, records of 4 s", since(silent));
    EXPECT_LT(since(silent), life + 1s);
    EXPECT_EQ(fading.lines("client disconnected", 1), 1U);

    const std::size_t resolves = witness.count("resolved moving");
    ASSERT_TRUE(HostNetwork::run("p1",
                                 "sysctl -qw net.ipv4.conf.eth0.promote_secondaries=1 && "
                                 "ip address add 169.254.0.102/16 dev eth0"));
    ASSERT_TRUE(runUntil([&] { return witness.count("resolved moving") == resolves + 1; }));
    runFor(1s);  // a reconnection would have been made by now
    EXPECT_EQ(moving.lines("client connected"), 1U);
    ASSERT_TRUE(HostNetwork::run("p1", "ip address del 169.254.0.2/16 dev eth0"));
    const auto renumbered = Clock::now();
    ASSERT_TRUE(runUntil([&] { return received(7) == 2; }, 30s));
    figure("old address withdrawn to connected at the new one", since(renumbered));
    const std::vector<std::string> established = connections("established");
    ASSERT_EQ(established.size(), 1U) << ::testing::PrintToString(established);
    EXPECT_NE(established[0].find("169.254.0.102:"), std::string::npos) << established[0];
    EXPECT_EQ(moving.lines("client connected"), 2U);
}

// The client starts before its host's avahi-daemon and browses once it answers. Its thread
// is held as the second peer is found, until the daemon has gone again: the resolve it asks
// for then waits for the daemon's return. The third peer leaves meanwhile. The first
// peer's name needs escaping.
TEST_P(ThroughAvahiTest,
       AvahiDaemonStartAndRestartKeepAConnectedPeerConnectOneMidResolveDropOneGone) {
    ASSERT_TRUE(boxWith({"p1", "p2", "p3"}));
    const std::string keptName = "Büro peer. 2 (kept)";
    std::promise<void> daemonGone;
    witness.beforeFound = [gone = daemonGone.get_future().share()](const std::string& name) {
        if (name == "mid") {
            gone.wait_for(30s);
        }
    };
    ASSERT_TRUE(HostNetwork::avahi("c", "stop"));
    ::testing::internal::CaptureStderr();
    startClient();
    runFor(300ms);
    const bool first = HostNetwork::avahi("c", "start");
    PeerProcess kept = HostNetwork::peer("p1", {"--listen", "::", keptName, "0x1"});
    PeerProcess leaving = HostNetwork::peer("p3", {"--listen", "::", "leaving", "0x3"});
    const bool before = first && runUntil([&] { return received(1) == 1 && received(3) == 1; });
    PeerProcess mid = HostNetwork::peer("p2", {"--listen", "::", "mid", "0x2"});
    const bool found = before && runUntil([&] { return witness.count("found mid") == 1; });
    const bool stopped = found && HostNetwork::avahi("c", "stop");
    daemonGone.set_value();
    const auto gone = Clock::now();
    leaving.stop();
    const bool started = stopped && HostNetwork::avahi("c", "start");
    const bool connected = started && runUntil([&] { return received(2) == 1; }, 40s);
    const std::string said = ::testing::internal::GetCapturedStderr();
    ASSERT_TRUE(connected) << "first " << before << ", found " << found << ", stopped " << stopped
                           << ", started " << started;
    figure("daemon gone to the peer caught mid-resolve connected", since(gone));
    ASSERT_TRUE(runUntil([&] { return witness.count("removed leaving") == 1; }));
    figure("daemon gone to the peer gone meanwhile removed", since(gone));
    EXPECT_EQ(said,
              "corvane-client: avahi-daemon is not running; waiting for it.\n"
              "corvane-client: avahi-daemon is running.\n"
              "corvane-client: avahi-daemon went away; waiting for it to come back.\n"
              "corvane-client: avahi-daemon is back.\n");
    EXPECT_EQ(kept.lines("client connected"), 1U);
    EXPECT_EQ(mid.lines("client connected"), 1U);
    EXPECT_EQ(received(1) + received(2), 2U);
    EXPECT_EQ(changes, std::vector<bool>{true});
    EXPECT_EQ(witness.count("found " + keptName) + witness.count("found mid"), 2U);
    EXPECT_EQ(witness.count("removed " + keptName) + witness.count("removed mid"), 0U);
}

const Discovery avahiDaemon{"Avahi", avahi::makeAvahiDiscovery, true};
// Named, like every browser of ours that runs outside a namespace of its own: were this
// thread not on the client's host, no query would leave on the machine's network.
const Discovery builtin{
    "Builtin", mdns::mdnsDiscovery({mdns::posix::listNetworkInterfaces, {"eth0", "eth1"}, {}}),
    false};
const Discovery builtinBesideAvahiDaemon{"BuiltinBesideAvahiDaemon", builtin.factory, true};
const auto nameOf = [](const auto& instance) { return instance.param.name; };

INSTANTIATE_TEST_SUITE_P(Discoveries, HostsTest, ::testing::Values(avahiDaemon, builtin), nameOf);
INSTANTIATE_TEST_SUITE_P(Discoveries, ThroughAvahiTest, ::testing::Values(avahiDaemon), nameOf);
INSTANTIATE_TEST_SUITE_P(Discoveries, FindingTest,
                         ::testing::Values(avahiDaemon, builtin, builtinBesideAvahiDaemon), nameOf);

}  // namespace
}  // namespace corvane::testing
