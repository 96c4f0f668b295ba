#pragma once

// The records a querier has heard, per interface, each until its time to live runs
// out. Only records the querier has asked to keep come in; a cap bounds how many.

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "network/mdns/dns_message.h"

namespace corvane::mdns {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

struct CachedRecord {
    ResourceRecord record;
    unsigned interface = 0;
    TimePoint received;
    TimePoint expires;
    // Said goodbye to, or replaced by a record with the cache-flush bit: it goes at
    // `expires`, a second after that, and no longer counts meanwhile.
    bool doomed = false;
    // Refresh queries asked for it since it was last received (at 80, 85, 90 and 95 % of
    // its life, each plus `jitter`).
    int refreshes = 0;
    double jitter = 0;

    TimePoint nextRefresh(bool jittered = true) const;
    // Whether, at `now`, it is still fresh enough to be named as a known answer: more
    // than half its life left.
    bool knownAnswerAt(TimePoint now) const;
    std::uint32_t secondsLeftAt(TimePoint now) const;
};

class RecordCache {
  public:
    static constexpr std::size_t maxRecords = 1024;
    static constexpr int refreshQueries = 4;

    explicit RecordCache(std::uint32_t randomStart) : random_(randomStart) {}

    // Takes in a record heard on `interface`: a new one, a renewal, or a goodbye (TTL 0)
    // that dooms its match. The cache-flush bit dooms the others of the same name and
    // type on that interface heard more than a second ago. False when a new record did
    // not fit under the cap.
    bool insert(const ResourceRecord& record, unsigned interface, TimePoint now);
    // Removes what has expired by `now`, and returns it.
    std::vector<CachedRecord> expire(TimePoint now);
    void eraseIf(const std::function<bool(const CachedRecord&)>& condition);

    // The records of this name and type; doomed ones only when asked for.
    std::vector<const CachedRecord*> find(const DnsName& name, std::uint16_t type,
                                          bool doomedToo = false) const;
    // The records whose refresh is due by `now`, with those only the jitter keeps back;
    // each counts as asked for.
    std::vector<const CachedRecord*> takeDueRefreshes(TimePoint now);
    // The earliest expiry or refresh still to come.
    std::optional<TimePoint> nextEvent() const;
    std::size_t size() const { return records_.size(); }
    void forEach(const std::function<void(const CachedRecord&)>& visit) const;

  private:
    std::map<std::string, CachedRecord> records_;
    std::minstd_rand random_;
};

}  // namespace corvane::mdns
