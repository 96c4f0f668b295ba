#include "network/mdns/record_cache.h"

#include <algorithm>

namespace corvane::mdns {
namespace {

// A TTL with the top bit set is taken as zero (RFC 2181).
std::uint32_t usableTtl(std::uint32_t ttl) {
    return ttl > 0x7FFFFFFF ? 0 : ttl;
}

std::string typeKey(const DnsName& name, std::uint16_t type) {
    std::string key = name.key();
    key += '\0';
    key += static_cast<char>(type >> 8);
    key += static_cast<char>(type);
    return key;
}

// Name, type, interface and data: what makes two records the same record.
std::string recordKey(const ResourceRecord& record, unsigned interface) {
    std::string key = typeKey(record.name, record.type);
    key.append(reinterpret_cast<const char*>(&interface), sizeof interface);
    std::visit(
        [&key](const auto& value) {
            using Value = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<Value, std::vector<std::uint8_t>>) {
                key.append(value.begin(), value.end());
            } else if constexpr (std::is_same_v<Value, DnsName>) {
                key += value.key();
            } else if constexpr (std::is_same_v<Value, ServiceLocation>) {
                key += std::to_string(value.priority) + ',' + std::to_string(value.weight) + ',' +
                       std::to_string(value.port) + ',' + value.target.key();
            } else {
                const auto bytes = value.to_bytes();
                key.append(bytes.begin(), bytes.end());
            }
        },
        record.data);
    return key;
}

}  // namespace

TimePoint CachedRecord::nextRefresh(bool jittered) const {
    const double share = 0.80 + 0.05 * refreshes + (jittered ? jitter : 0.0);
    return received + std::chrono::duration_cast<Clock::duration>(
                          std::chrono::duration<double>(share * record.ttl));
}

bool CachedRecord::knownAnswerAt(TimePoint now) const {
    return !doomed && (expires - now) * 2 > std::chrono::seconds(record.ttl);
}

std::uint32_t CachedRecord::secondsLeftAt(TimePoint now) const {
    return static_cast<std::uint32_t>(std::max<std::int64_t>(
        0, std::chrono::duration_cast<std::chrono::seconds>(expires - now).count()));
}

bool RecordCache::insert(const ResourceRecord& heard, unsigned interface, TimePoint now) {
    ResourceRecord record = heard;
    record.ttl = usableTtl(record.ttl);
    const std::string key = recordKey(record, interface);
    if (record.cacheFlush && record.ttl > 0) {
        const std::string set = typeKey(record.name, record.type);
        for (auto other = records_.lower_bound(set);
             other != records_.end() && other->first.starts_with(set); ++other) {
            if (other->first != key && other->second.interface == interface &&
                now - other->second.received > std::chrono::seconds(1)) {
                other->second.doomed = true;
                other->second.expires =
                    std::min(other->second.expires, now + std::chrono::seconds(1));
            }
        }
    }
    const auto found = records_.find(key);
    if (record.ttl == 0) {
        if (found != records_.end()) {
            found->second.doomed = true;
            found->second.expires = std::min(found->second.expires, now + std::chrono::seconds(1));
        }
        return true;
    }
    if (found == records_.end() && records_.size() >= maxRecords) {
        return false;
    }
    std::uniform_real_distribution<double> jitter(0.0, 0.02);
    records_[key] = CachedRecord{std::move(record),
                                 interface,
                                 now,
                                 now + std::chrono::seconds(usableTtl(heard.ttl)),
                                 false,
                                 0,
                                 jitter(random_)};
    return true;
}

std::vector<CachedRecord> RecordCache::expire(TimePoint now) {
    std::vector<CachedRecord> gone;
    for (auto entry = records_.begin(); entry != records_.end();) {
        if (entry->second.expires <= now) {
            gone.push_back(std::move(entry->second));
            entry = records_.erase(entry);
        } else {
            ++entry;
        }
    }
    return gone;
}

void RecordCache::eraseIf(const std::function<bool(const CachedRecord&)>& condition) {
    std::erase_if(records_, [&condition](const auto& entry) { return condition(entry.second); });
}

std::vector<const CachedRecord*> RecordCache::find(const DnsName& name, std::uint16_t type,
                                                   bool doomedToo) const {
    std::vector<const CachedRecord*> found;
    const std::string prefix = typeKey(name, type);
    for (auto entry = records_.lower_bound(prefix);
         entry != records_.end() && entry->first.starts_with(prefix); ++entry) {
        if (doomedToo || !entry->second.doomed) {
            found.push_back(&entry->second);
        }
    }
    return found;
}

std::vector<const CachedRecord*> RecordCache::takeDueRefreshes(TimePoint now) {
    std::vector<const CachedRecord*> due;
    const auto refreshable = [](const CachedRecord& cached) {
        return !cached.doomed && cached.refreshes < refreshQueries;
    };
    const bool any = std::ranges::any_of(records_, [&](const auto& entry) {
        return refreshable(entry.second) && entry.second.nextRefresh() <= now;
    });
    if (!any) {
        return due;
    }
    // Records past their refresh point but for the jitter go along: records heard together
    // are asked for together.
    for (auto& [key, cached] : records_) {
        if (refreshable(cached) && cached.nextRefresh(false) <= now) {
            // Refreshes missed meanwhile (the loop was held up) are not made up for.
            while (cached.refreshes < refreshQueries && cached.nextRefresh(false) <= now) {
                ++cached.refreshes;
            }
            due.push_back(&cached);
        }
    }
    return due;
}

std::optional<TimePoint> RecordCache::nextEvent() const {
    std::optional<TimePoint> next;
    for (const auto& [key, cached] : records_) {
        TimePoint at = cached.expires;
        if (!cached.doomed && cached.refreshes < refreshQueries) {
            at = std::min(at, cached.nextRefresh());
        }
        next = next ? std::min(*next, at) : at;
    }
    return next;
}

void RecordCache::forEach(const std::function<void(const CachedRecord&)>& visit) const {
    for (const auto& [key, cached] : records_) {
        visit(cached);
    }
}

}  // namespace corvane::mdns
