#pragma once

// A multicast DNS querier browsing one service type: it keeps the answers it hears in a
// cache, asks again on its schedule, resolves instances through their SRV record to the
// addresses of the target host, and says what it found. It does no input or output of
// its own: messages come in through receive() and go out through QuerierEvents::send,
// the time is passed in, and nextWake() says when to call run() next.

#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "network/mdns/dns_message.h"
#include "network/mdns/record_cache.h"

namespace corvane::mdns {

// Where queries go: one interface and address family, from port 5353 (multicast
// queries, answers by multicast) or, where 5353 could not be had, from another port
// (one-shot queries, answered by unicast with short lives).
struct Link {
    unsigned interface = 0;
    bool v6 = false;
    bool oneShot = false;
    auto operator<=>(const Link&) const = default;
};

class QuerierEvents {
  public:
    virtual std::vector<Link> links() = 0;
    virtual void send(const Link& link, std::span<const std::uint8_t> message) = 0;
    virtual void found(const DnsName& instance) = 0;
    virtual void removed(const DnsName& instance) = 0;
    virtual void resolved(const DnsName& instance,
                          const std::vector<asio::ip::tcp::endpoint>& endpoints) = 0;
    virtual void notResolved(const DnsName& instance) = 0;

  protected:
    ~QuerierEvents() = default;
};

class Querier {
  public:
    static constexpr std::size_t maxServices = 64;
    static constexpr std::uint16_t port = 5353;
    static constexpr auto firstInterval = std::chrono::seconds(1);
    static constexpr auto longestInterval = std::chrono::minutes(60);
    // One-shot queries are answered with lives of 10 s: asked this often, a peer is found
    // within a few seconds and stays.
    static constexpr auto oneShotInterval = std::chrono::seconds(3);
    // Answers come in bursts (both families, several interfaces): a resolve that had to
    // ask for addresses reports once both families are known or this long after the first
    // address, a watch reports a change this long after it began.
    static constexpr auto settleTime = std::chrono::milliseconds(500);
    // Addresses of hosts no service leads to are remembered this long, the latest
    // maxRecentAddresses of them: a responder multicasts a record at most once a second,
    // so the addresses of a host announced just before its service would otherwise be
    // missing, and not be answered for that long.
    static constexpr auto recentWindow = std::chrono::seconds(2);
    static constexpr std::size_t maxRecentAddresses = 64;
    // Queries carry known answers up to this size.
    static constexpr std::size_t querySize = 1400;

    Querier(QuerierEvents& events, DnsName serviceType, TimePoint now, std::uint32_t randomStart);

    void receive(std::span<const std::uint8_t> bytes, std::uint16_t sourcePort, unsigned interface,
                 TimePoint now);
    // Resolves `instance` by `deadline`, ending its resolve or watch under way: resolved()
    // once its SRV and the target's addresses are known (those heard unasked at once; those
    // it asked for once both families are known, or settleTime after the first), else
    // notResolved() at the deadline. Once resolved it is watched: a changed set of
    // addresses, not empty, is reported by resolved() again once settled, until
    // stopResolving(). A report still queued for a resolve that a listener ended meanwhile
    // is dropped.
    void resolve(const DnsName& instance, TimePoint deadline, TimePoint now);
    void stopResolving(const DnsName& instance);
    // Does what is due by `now`: removals, reports, queries.
    void run(TimePoint now);
    TimePoint nextWake() const;

    const RecordCache& cache() const { return cache_; }

  private:
    struct Instance {
        DnsName name;
        // An SRV record was heard for it: once none is left, it is gone.
        bool located = false;
        bool reported = false;
    };
    struct Resolve {
        enum class Phase { resolving, watching, failed };
        DnsName instance;
        // Tells this resolve from an earlier one of the same instance.
        unsigned serial = 0;
        TimePoint deadline;
        TimePoint nextAsk;
        Clock::duration askInterval = firstInterval;
        Phase phase = Phase::resolving;
        // Addresses were asked for: the answers come per family, each after its own delay.
        bool askedAddresses = false;
        // When the addresses found (first ones, or a change) are due to be reported.
        std::optional<TimePoint> settleAt;
        // The addresses last reported.
        std::vector<asio::ip::tcp::endpoint> endpoints;
    };
    using Questions = std::vector<Question>;
    struct Heard {
        ResourceRecord record;
        unsigned interface = 0;
        TimePoint at;
    };

    void take(const ResourceRecord& record, unsigned interface, TimePoint now);
    // The keys of the hosts the instances' SRV records name.
    std::set<std::string> hosts() const;
    std::vector<asio::ip::tcp::endpoint> endpointsOf(const DnsName& instance) const;
    Questions missingFor(const DnsName& instance) const;
    // Brings instances and resolves up to date with the cache; reports come out after.
    void settle(TimePoint now);
    void sendQueries(TimePoint now);
    // Queues `report` for `resolve`, to be dropped if that resolve has ended by its turn.
    void reportFor(const Resolve& resolve, std::function<void()> report);
    void report();

    QuerierEvents& events_;
    const DnsName serviceType_;
    RecordCache cache_;
    std::minstd_rand random_;
    std::map<std::string, Instance> instances_;
    // Address records of hosts no service leads to, oldest first.
    std::deque<Heard> recentAddresses_;
    std::map<std::string, Resolve> resolves_;
    unsigned resolveSerial_ = 0;
    TimePoint nextBrowse_;
    Clock::duration browseInterval_ = firstInterval;
    TimePoint nextOneShot_;
    // The links of the last queries, sorted.
    std::vector<Link> knownLinks_;
    bool oneShotLinks_ = false;
    bool everQueried_ = false;
    // What to tell, in order, once the querier's own state is consistent again.
    std::vector<std::function<void()>> reports_;
};

}  // namespace corvane::mdns
