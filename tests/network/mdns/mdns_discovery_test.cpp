// The browser through the discovery boundary, on a simulated clock, with messages fed
// through a fake network: its queries, what it keeps and what it reports.

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <cmath>
#include <iterator>
#include <sstream>

#include "network/mdns/mdns_discovery.h"

namespace corvane::mdns {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class SimulatedTimer final : public WakeTimer {
  public:
    explicit SimulatedTimer(asio::io_context& loop) : loop_(loop) {}
    TimePoint now() const override { return now_; }
    void wakeAt(TimePoint when, std::function<void()> wake) override {
        wake_ = {std::max(when, now_), std::move(wake)};
    }
    // Moves the clock on by `time`, waking the browser whenever it asked to be, and runs
    // what it posts to the loop. A browser that asks to be woken again and again at one
    // instant would spin on a real clock: that fails the test.
    void advance(Clock::duration time) {
        const TimePoint until = now_ + time;
        loop_.poll();
        for (int atOnce = 0; wake_.second && wake_.first <= until;) {
            atOnce = wake_.first == now_ ? atOnce + 1 : 0;
            ASSERT_LT(atOnce, 100) << "woken without end at one instant";
            now_ = wake_.first;
            const auto wake = std::exchange(wake_.second, nullptr);
            wake();
            loop_.poll();
        }
        now_ = until;
    }

  private:
    asio::io_context& loop_;
    TimePoint now_{};
    std::pair<TimePoint, std::function<void()>> wake_;
};

struct Sent {
    TimePoint at;
    Link link;
    DnsMessage message;
};

// The network as the browser sees it: its links, and what it sent when. The transport the
// browser makes records into it, and hands what arrives to `sink` while it lives.
struct FakeNetwork {
    std::vector<Link> links{{1, false, false}, {1, true, false}};
    std::vector<Sent> sent;
    PacketSink sink;
};
struct FakeTransport final : Transport {
    FakeTransport(FakeNetwork& net, const WakeTimer& clock) : network(net), timer(clock) {}
    ~FakeTransport() override { network.sink = nullptr; }
    std::vector<Link> links() override { return network.links; }
    void send(const Link& link, std::span<const std::uint8_t> message) override {
        network.sent.push_back({timer.now(), link, *parseMessage(message)});
    }
    FakeNetwork& network;
    const WakeTimer& timer;
};

DnsName name(const std::string& dotted) {
    return DnsName::fromDotted(dotted);
}
DnsName instance(const std::string& label) {
    return DnsName{{label, "_corvane2", "_tcp", "local"}};
}
ResourceRecord ptr(const std::string& label, std::uint32_t ttl = 4500) {
    return {
        name("_corvane2._tcp.local"), RecordType::ptr, classInternet, false, ttl, instance(label)};
}
ResourceRecord srv(const std::string& label, const std::string& host) {
    const ServiceLocation location{0, 0, 4000, name(host + ".local")};
    return {instance(label), RecordType::srv, classInternet, true, 120, location};
}
ResourceRecord address(const std::string& host, const std::string& ip, std::uint32_t ttl = 120) {
    const asio::ip::address parsed = asio::ip::make_address(ip);
    const bool v4 = parsed.is_v4();
    const RecordData data = v4 ? RecordData(parsed.to_v4()) : RecordData(parsed.to_v6());
    const auto type = v4 ? RecordType::a : RecordType::aaaa;
    return {name(host + ".local"), type, classInternet, true, ttl, data};
}
// A peer's whole answer: its service, location and addresses.
std::vector<ResourceRecord> peer(const std::string& label, const std::string& host,
                                 const std::vector<std::string>& ips) {
    std::vector<ResourceRecord> records{ptr(label), srv(label, host)};
    for (const std::string& ip : ips) {
        records.push_back(address(host, ip));
    }
    return records;
}

class MdnsDiscoveryTest : public ::testing::Test, public ServiceDiscoveryListener {
  protected:
    void SetUp() override {
        auto timer = std::make_unique<SimulatedTimer>(loop);
        clock = timer.get();
        discovery = makeMdnsDiscovery(
            loop, *this,
            [this](PacketSink sink) {
                network.sink = std::move(sink);
                return std::make_unique<FakeTransport>(network, *clock);
            },
            std::move(timer), 7);
        discovery->search("_corvane2._tcp", "");
    }

    void deliver(std::vector<ResourceRecord> records, unsigned interface = 1,
                 std::uint16_t port = 5353, std::uint16_t flags = DnsMessage::responseFlag) {
        DnsMessage message;
        message.flags = flags;
        message.answers = std::move(records);
        network.sink(writeMessage(message), port, interface);
        loop.poll();
    }
    // The queries sent on `link` asking `question` (a name and type), with their times.
    std::vector<const Sent*> asked(const std::string& question, std::uint16_t type,
                                   Link link = {1, false, false}) const {
        std::vector<const Sent*> found;
        for (const Sent& each : network.sent) {
            const bool asks = std::ranges::any_of(each.message.questions, [&](const Question& q) {
                return q.type == type && q.name.key() == name(question).key();
            });
            if (asks && each.link == link) {
                found.push_back(&each);
            }
        }
        return found;
    }
    std::vector<const Sent*> browses(Link link = {1, false, false}) const {
        return asked("_corvane2._tcp.local", RecordType::ptr, link);
    }
    double seconds(TimePoint at) const {
        return std::chrono::duration<double>(at - TimePoint{}).count();
    }
    std::shared_ptr<DiscoveredService> service(const std::string& label) const {
        const auto found = std::ranges::find(services, label, &DiscoveredService::name);
        return found == services.end() ? nullptr : *found;
    }

    void serviceFound(const std::shared_ptr<DiscoveredService>& found) override {
        events.push_back("found " + found->name());
        services.push_back(found);
        if (resolveOnFound) {
            found->resolve(5s);
        }
    }
    void serviceRemoved(const std::shared_ptr<DiscoveredService>& removed) override {
        events.push_back("removed " + removed->name());
    }
    void serviceResolved(const std::shared_ptr<DiscoveredService>& resolved) override {
        std::ostringstream line;
        line << "resolved " << resolved->name();
        // Scopes as numbers: the test's interfaces are not the machine's.
        for (const auto& endpoint : resolved->endpoints()) {
            if (endpoint.address().is_v6()) {
                asio::ip::address_v6 address = endpoint.address().to_v6();
                const unsigned scope = address.scope_id();
                address.scope_id(0);
                line << " [" << address << '%' << scope << "]:" << endpoint.port();
            } else {
                line << ' ' << endpoint;
            }
        }
        events.push_back(line.str());
        if (onResolved) {
            onResolved(resolved->name());
        }
    }
    void serviceDidNotResolve(const std::shared_ptr<DiscoveredService>& failed) override {
        events.push_back("failed " + failed->name());
    }

    asio::io_context loop;
    // poll() would stop the loop for good once it ran out of work.
    asio::executor_work_guard<asio::io_context::executor_type> busy{loop.get_executor()};
    SimulatedTimer* clock = nullptr;
    FakeNetwork network;
    std::unique_ptr<ServiceDiscovery> discovery;
    bool resolveOnFound = true;
    std::function<void(const std::string& name)> onResolved;
    std::vector<std::string> events;
    std::vector<std::shared_ptr<DiscoveredService>> services;
};

using Events = std::vector<std::string>;

// Beside a peer that answers every question at once, as avahi-daemon does: the browsing
// keeps its schedule, and the peer's records cost their refreshes only.
TEST_F(MdnsDiscoveryTest, BrowsingStartsWithin120MsAndItsIntervalsDoubleFromOneSecondToAnHour) {
    const std::vector<ResourceRecord> records = peer("p1", "host", {"169.254.0.2", "fe80::2"});
    for (int second = 0; second < 4 * 3600; ++second) {
        const std::size_t before = network.sent.size();
        clock->advance(1s);
        if (network.sent.size() > before) {
            deliver(records);
        }
    }
    EXPECT_EQ(events.size(), 2U);
    for (const Link& link : network.links) {
        const std::vector<const Sent*> queries = browses(link);
        ASSERT_GE(queries.size(), 14U);
        EXPECT_GE(seconds(queries[0]->at), 0.020);
        EXPECT_LE(seconds(queries[0]->at), 0.120);
        for (std::size_t i = 1; i < queries.size(); ++i) {
            const double interval = seconds(queries[i]->at) - seconds(queries[i - 1]->at);
            EXPECT_NEAR(interval, std::min(std::pow(2.0, double(i - 1)), 3600.0), 1e-6) << i;
        }
        const auto within = [&](double limit) {
            return std::ranges::count_if(queries,
                                         [&](const Sent* q) { return seconds(q->at) < limit; });
        };
        std::printf(
            "[ figure ] browse queries on one link: %td in the first minute, %td in the first "
            "hour\n",
            within(60), within(3600));
    }
    const auto firstHour = std::ranges::count_if(network.sent, [this](const Sent& q) {
        return q.link == network.links[0] && seconds(q.at) < 3600;
    });
    std::printf("[ figure ] queries on one link in an hour beside one peer: %td\n", firstHour);
    // The browsing's 12, and one refresh of its 120 s records every 96 to 98.4 s.
    EXPECT_LE(firstHour, 12 + 3600 / 96);
}

TEST_F(MdnsDiscoveryTest,
       AServiceIsFoundOnceResolvedWithItsInterfacesAndRemovedASecondAfterItsLastGoodbye) {
    network.links.push_back({2, true, false});
    clock->advance(200ms);
    deliver(peer("p1", "host", {"169.254.0.2", "fe80::2"}), 1);
    EXPECT_EQ(events, Events{"found p1"}) << "resolved only from the loop, after the call";
    // Heard again on a second interface, with the link-local address of that one.
    deliver(peer("p1", "host", {"fe80::2"}), 2);
    EXPECT_EQ(events, (Events{"found p1",
                              "resolved p1 169.254.0.2:4000 [fe80::2%1]:4000 [fe80::2%2]:4000"}));

    ResourceRecord goodbye = ptr("p1", 0);
    deliver({goodbye}, 1);
    clock->advance(5s);
    EXPECT_EQ(events.size(), 2U) << "still heard on interface 2";
    deliver({goodbye}, 2);
    clock->advance(999ms);
    EXPECT_EQ(events.size(), 2U);
    clock->advance(1ms);
    EXPECT_EQ(events.back(), "removed p1");
    const std::size_t asked = this->asked("host.local", RecordType::a).size();
    clock->advance(200s);
    EXPECT_EQ(this->asked("host.local", RecordType::a).size(), asked)
        << "the host's address is no longer wanted, nor asked for again";
}

TEST_F(MdnsDiscoveryTest, KnownAnswersAreTheRecordsOfThatInterfaceWithMoreThanHalfTheirLifeLeft) {
    network.links.push_back({2, false, false});
    clock->advance(200ms);
    deliver({ptr("p1", 3000)}, 1);
    clock->advance(2s);
    const Sent* next = browses().back();
    ASSERT_EQ(next->message.answers.size(), 1U);
    EXPECT_EQ(std::get<DnsName>(next->message.answers[0].data), instance("p1"));
    EXPECT_LE(next->message.answers[0].ttl, 2999U);
    EXPECT_TRUE(browses({2, false, false}).back()->message.answers.empty());
    // The queries at 1023 s (66 % of its life left) and 2047 s (32 % left).
    clock->advance(1030s);
    EXPECT_EQ(browses().back()->message.answers.size(), 1U);
    clock->advance(1030s);
    EXPECT_TRUE(browses().back()->message.answers.empty());
}

// Answers to its own questions come per family; what it heard unasked comes whole.
TEST_F(MdnsDiscoveryTest, ResolvingAsksForWhatIsMissingAndWaitsBrieflyForTheOtherFamily) {
    clock->advance(200ms);
    deliver({ptr("p1")});
    clock->advance(0s);
    EXPECT_EQ(asked("p1._corvane2._tcp.local", RecordType::srv).size(), 1U);
    deliver({srv("p1", "host")});
    clock->advance(1s);
    EXPECT_EQ(asked("host.local", RecordType::a).size(), 1U);
    EXPECT_EQ(asked("host.local", RecordType::aaaa).size(), 1U);
    deliver({address("host", "169.254.0.2")});
    clock->advance(499ms);
    EXPECT_EQ(events, Events{"found p1"});
    clock->advance(1ms);
    EXPECT_EQ(events.back(), "resolved p1 169.254.0.2:4000");
    // Still watched: a new address is reported again once settled; one that flushes the
    // cache replaces those of its type heard more than a second before.
    deliver({address("host", "fe80::2")});
    clock->advance(Querier::settleTime - 1ms);
    EXPECT_EQ(events.size(), 2U);
    clock->advance(1ms);
    EXPECT_EQ(events.back(), "resolved p1 169.254.0.2:4000 [fe80::2%1]:4000");
    clock->advance(1s);
    deliver({address("host", "169.254.0.9")});
    clock->advance(Querier::settleTime);
    EXPECT_EQ(events.back(), "resolved p1 169.254.0.9:4000 [fe80::2%1]:4000");
    EXPECT_EQ(asked("p1._corvane2._tcp.local", RecordType::srv).size(), 1U)
        << "nothing asked twice";

    // A host's addresses announced a moment before its service are not asked for again,
    // which would go unanswered for a second; those heard too long ago, or before the
    // latest 64 addresses of other hosts, are.
    deliver({address("h2", "169.254.0.2")});
    clock->advance(Querier::recentWindow + 1ms);
    deliver({address("h3", "169.254.0.3")});
    deliver({ptr("p2"), srv("p2", "h2"), ptr("p3"), srv("p3", "h3")});
    clock->advance(1ms);
    EXPECT_EQ(events.back(), "resolved p3 169.254.0.3:4000");
    std::vector<ResourceRecord> strangers{address("h4", "169.254.0.4")};
    for (int i = 0; i < 64; ++i) {
        strangers.push_back(
            address(std::to_string(i) + "-stranger", "10.0.0." + std::to_string(i)));
    }
    deliver(strangers);
    deliver({ptr("p4"), srv("p4", "h4")});
    clock->advance(1s);
    EXPECT_EQ(events.back(), "found p4");
    for (const char* host : {"h2.local", "h3.local", "h4.local"}) {
        EXPECT_EQ(asked(host, RecordType::a).empty(), host == std::string("h3.local")) << host;
    }
}

// The client resolves a listed service again to reconnect; a listener may end one resolve
// from the report of another; a service may go before its resolve found it. Whatever ends
// a resolve, the last one asked for is told exactly one outcome.
TEST_F(MdnsDiscoveryTest, EachResolveIsToldExactlyOneOutcomeWhateverEndsIt) {
    clock->advance(200ms);
    std::vector<ResourceRecord> two = peer("p1", "h1", {"169.254.0.2", "fe80::2"});
    std::ranges::copy(peer("p2", "h2", {"169.254.0.3", "fe80::3"}), std::back_inserter(two));
    onResolved = [this](const std::string& name) {
        if (name == "p1") {
            service("p2")->resolve(5s);  // its first outcome is queued behind this one
        }
    };
    deliver(two);
    clock->advance(Querier::settleTime);
    EXPECT_EQ(events,
              (Events{"found p1", "found p2", "resolved p1 169.254.0.2:4000 [fe80::2%1]:4000",
                      "resolved p2 169.254.0.3:4000 [fe80::3%1]:4000"}));
    onResolved = nullptr;

    // A change of addresses under watch, then a resolve before it has settled.
    deliver({address("h1", "169.254.0.4")});
    clock->advance(Querier::settleTime / 2);
    service("p1")->resolve(5s);
    clock->advance(2s);
    EXPECT_EQ(events.size(), 5U);
    EXPECT_EQ(events.back(), "resolved p1 169.254.0.2:4000 169.254.0.4:4000 [fe80::2%1]:4000");

    // An address that says goodbye before its resolve settles is waited for again.
    deliver({ptr("p3"), srv("p3", "h3")});
    clock->advance(1ms);
    deliver({address("h3", "169.254.0.5")});
    clock->advance(Querier::settleTime / 2);
    deliver({address("h3", "169.254.0.5", 0)});
    clock->advance(2s);
    EXPECT_EQ(events.back(), "found p3");
    // Gone before it was found: the resolve fails, after the removal.
    deliver({ptr("p3", 0)});
    clock->advance(1s);
    EXPECT_EQ(Events(events.begin() + 5, events.end()),
              (Events{"found p3", "removed p3", "failed p3"}));
}

TEST_F(MdnsDiscoveryTest, AResolveWithoutAnswerFailsAtItsDeadlineAfterAskingThreeTimes) {
    clock->advance(200ms);
    deliver({ptr("p1")});
    clock->advance(4999ms);
    EXPECT_EQ(events, Events{"found p1"});
    clock->advance(1ms);
    EXPECT_EQ(events, (Events{"found p1", "failed p1"}));
    EXPECT_EQ(asked("p1._corvane2._tcp.local", RecordType::srv).size(), 3U);  // at 0, 1 and 3 s
}

TEST_F(MdnsDiscoveryTest,
       RecordsAreAskedForAt80To95PercentOfTheirLifeAndAServiceGoesWithItsLocation) {
    clock->advance(200ms);
    deliver(peer("p1", "host", {"169.254.0.2"}));
    clock->advance(119s);
    const std::vector<const Sent*> refreshes = asked("p1._corvane2._tcp.local", RecordType::srv);
    ASSERT_EQ(refreshes.size(), 4U);
    for (std::size_t i = 0; i < refreshes.size(); ++i) {
        const double share = (seconds(refreshes[i]->at) - 0.2) / 120;
        EXPECT_GE(share, 0.80 + 0.05 * double(i));
        EXPECT_LE(share, 0.82 + 0.05 * double(i) + 1e-3);
    }
    EXPECT_EQ(asked("host.local", RecordType::a).size(), 4U);
    EXPECT_EQ(events.back(), "resolved p1 169.254.0.2:4000");
    clock->advance(1s);
    EXPECT_EQ(events.back(), "removed p1") << "its PTR record would last 75 minutes";
    clock->advance(10s);
    EXPECT_TRUE(browses().back()->message.answers.empty()) << "nor is that a known answer";
}

TEST_F(MdnsDiscoveryTest,
       OnlyAnswersFromPort5353ForTheBrowsedServiceAreTakenAndTheirNumberIsCapped) {
    clock->advance(200ms);
    deliver(peer("p1", "host", {"169.254.0.2"}), 1, 5354);
    deliver(peer("p1", "host", {"169.254.0.2"}), 1, 5353, 0);  // a query
    deliver(peer("p1", "host", {"169.254.0.2"}), 1, 5353, DnsMessage::responseFlag | 3);
    ResourceRecord otherType = ptr("p1");
    otherType.name = name("_other._tcp.local");
    deliver({otherType, srv("p2", "host"), address("host", "169.254.0.2")});
    clock->advance(1h);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(
        std::ranges::all_of(network.sent, [](const Sent& q) { return q.message.answers.empty(); }));

    resolveOnFound = false;
    std::vector<ResourceRecord> flood;
    for (int i = 0; i < 100; ++i) {
        // Appended, not prefixed: mingw-w64's g++ 12 sees a false overlap in "p" + text.
        std::string name = "p";
        name += std::to_string(i);
        flood.push_back(ptr(name));
        flood.push_back(srv(name, "host"));
    }
    for (int i = 0; i < 1000; ++i) {
        flood.push_back(
            address("host", "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250)));
    }
    deliver(flood);
    EXPECT_EQ(events.size(), 64U);
    EXPECT_EQ(services.front()->name(), "p0");
    services.front()->resolve(5s);
    clock->advance(Querier::settleTime);
    std::istringstream resolved(events.back());
    const auto words = std::distance(std::istream_iterator<std::string>(resolved), {});
    EXPECT_EQ(words, 2 + 1024 - 64 * 2) << "the cache holds 1024 records";
}

TEST_F(MdnsDiscoveryTest, OneShotLinksAreAskedEvery3SecondsWithoutKnownAnswers) {
    network.links = {{1, false, true}};
    resolveOnFound = false;
    clock->advance(60s);
    const std::vector<const Sent*> queries = browses({1, false, true});
    ASSERT_EQ(queries.size(), 20U);
    EXPECT_NEAR(seconds(queries[1]->at) - seconds(queries[0]->at), 3.0, 1e-6);
    deliver({ptr("p1", 10)});
    clock->advance(9999ms);
    EXPECT_EQ(events.back(), "found p1");
    clock->advance(1ms);
    EXPECT_EQ(events.back(), "removed p1") << "its 10 s ran out";
    EXPECT_TRUE(std::ranges::all_of(network.sent, [](const Sent& q) {
        return q.message.answers.empty() && q.message.id != 0;
    }));
}

TEST_F(MdnsDiscoveryTest, StopForgetsTheServicesAndASearchStartsOver) {
    clock->advance(200ms);
    deliver(peer("p1", "host", {"169.254.0.2"}));
    clock->advance(Querier::settleTime);
    const std::shared_ptr<DiscoveredService> before = service("p1");
    discovery->stop();
    EXPECT_EQ(network.sink, nullptr) << "the transport is closed";
    before->resolve(5s);
    EXPECT_EQ(events.back(), "resolved p1 169.254.0.2:4000");
    loop.poll();
    EXPECT_EQ(events.back(), "failed p1");
    before->resolve(5s);
    before->stop();
    loop.poll();
    EXPECT_EQ(std::ranges::count(events, "failed p1"), 1) << "a stopped resolve says nothing";

    const std::size_t sentBefore = network.sent.size();
    discovery->search("_corvane2._tcp", "");
    clock->advance(2s);
    EXPECT_EQ(network.sent.size(), sentBefore + 2 * 2)
        << "at once and a second later, on both links";
    deliver(peer("p1", "host", {"169.254.0.2"}));
    EXPECT_EQ(std::ranges::count(events, "found p1"), 2);
    EXPECT_NE(services.back(), before);
}

}  // namespace
}  // namespace corvane::mdns
