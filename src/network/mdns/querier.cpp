#include "network/mdns/querier.h"

#include <algorithm>
#include <set>

namespace corvane::mdns {
namespace {

template <typename T>
const T* dataOf(const CachedRecord& cached) {
    return std::get_if<T>(&cached.record.data);
}

void addQuestion(std::vector<Question>& questions, const DnsName& name, std::uint16_t type) {
    const bool asked = std::ranges::any_of(questions, [&](const Question& question) {
        return question.type == type && question.name.key() == name.key();
    });
    if (!asked) {
        questions.push_back(Question{name, type, classInternet, false});
    }
}

}  // namespace

Querier::Querier(QuerierEvents& events, DnsName serviceType, TimePoint now,
                 std::uint32_t randomStart)
    : events_(events),
      serviceType_(std::move(serviceType)),
      cache_(randomStart),
      random_(randomStart) {
    // The first query waits 20-120 ms, so that queriers started together do not collide.
    std::uniform_int_distribution<int> delay(20, 120);
    nextBrowse_ = nextOneShot_ = now + std::chrono::milliseconds(delay(random_));
}

void Querier::receive(std::span<const std::uint8_t> bytes, std::uint16_t sourcePort,
                      unsigned interface, TimePoint now) {
    const std::optional<DnsMessage> message = parseMessage(bytes);
    // Answers come from port 5353, also to one-shot queries; a message with another
    // opcode or a response code is to be ignored.
    if (!message || !message->isResponse() || message->opcode() != 0 || message->rcode() != 0 ||
        sourcePort != port) {
        return;
    }
    // Services first, then their locations, then the hosts' addresses: whether a record
    // is wanted depends on those before it, wherever the sender put them.
    const auto each = [&message](const auto& visit) {
        for (const auto* section : {&message->answers, &message->additionals}) {
            for (const ResourceRecord& record : *section) {
                if (record.recordClass == classInternet) {
                    visit(record);
                }
            }
        }
    };
    const std::string typeKey = serviceType_.key();
    each([&](const ResourceRecord& record) {
        const auto* instance = std::get_if<DnsName>(&record.data);
        if (record.type == RecordType::ptr && instance != nullptr && record.name.key() == typeKey &&
            instance->isChildOf(serviceType_)) {
            take(record, interface, now);
        }
    });
    each([&](const ResourceRecord& record) {
        if (record.type == RecordType::srv && instances_.contains(record.name.key())) {
            take(record, interface, now);
        }
    });
    const std::set<std::string> targets = hosts();
    std::erase_if(recentAddresses_,
                  [&](const Heard& heard) { return heard.at + recentWindow < now; });
    std::erase_if(recentAddresses_, [&](const Heard& heard) {
        const bool wanted = targets.contains(heard.record.name.key());
        if (wanted) {
            take(heard.record, heard.interface, heard.at);
        }
        return wanted;
    });
    each([&](const ResourceRecord& record) {
        if (record.type != RecordType::a && record.type != RecordType::aaaa) {
            return;
        }
        if (targets.contains(record.name.key())) {
            take(record, interface, now);
        } else {
            recentAddresses_.push_back({record, interface, now});
            if (recentAddresses_.size() > maxRecentAddresses) {
                recentAddresses_.pop_front();
            }
        }
    });
    settle(now);
    report();
}

std::set<std::string> Querier::hosts() const {
    std::set<std::string> hosts;
    for (const auto& [key, instance] : instances_) {
        for (const CachedRecord* srv : cache_.find(instance.name, RecordType::srv, true)) {
            hosts.insert(dataOf<ServiceLocation>(*srv)->target.key());
        }
    }
    return hosts;
}

void Querier::take(const ResourceRecord& record, unsigned interface, TimePoint now) {
    if (record.type == RecordType::ptr && record.ttl != 0) {
        const DnsName& name = std::get<DnsName>(record.data);
        if (!instances_.contains(name.key())) {
            if (instances_.size() >= maxServices) {
                return;
            }
            instances_.emplace(name.key(), Instance{name, false, false});
        }
    }
    if (cache_.insert(record, interface, now) && record.type == RecordType::srv &&
        record.ttl != 0) {
        instances_.at(record.name.key()).located = true;
    }
}

void Querier::resolve(const DnsName& instance, TimePoint deadline, TimePoint now) {
    Resolve& resolve = resolves_[instance.key()];
    resolve = Resolve{};
    resolve.instance = instance;
    resolve.serial = ++resolveSerial_;
    resolve.deadline = deadline;
    resolve.nextAsk = now;
}

void Querier::stopResolving(const DnsName& instance) {
    resolves_.erase(instance.key());
}

void Querier::run(TimePoint now) {
    settle(now);
    sendQueries(now);
    report();
}

std::vector<asio::ip::tcp::endpoint> Querier::endpointsOf(const DnsName& instance) const {
    std::vector<asio::ip::tcp::endpoint> endpoints;
    for (const CachedRecord* srv : cache_.find(instance, RecordType::srv)) {
        const ServiceLocation& location = *dataOf<ServiceLocation>(*srv);
        for (const std::uint16_t type : {RecordType::a, RecordType::aaaa}) {
            for (const CachedRecord* host : cache_.find(location.target, type)) {
                asio::ip::address address;
                if (const auto* v4 = dataOf<asio::ip::address_v4>(*host)) {
                    address = *v4;
                } else {
                    asio::ip::address_v6 v6 = *dataOf<asio::ip::address_v6>(*host);
                    // A link-local address is reachable only through the interface it
                    // was heard on.
                    if (v6.is_link_local()) {
                        v6.scope_id(host->interface);
                    }
                    address = v6;
                }
                endpoints.emplace_back(address, location.port);
            }
        }
    }
    std::ranges::sort(endpoints, [](const auto& left, const auto& right) {
        const bool leftV6 = left.address().is_v6();
        const bool rightV6 = right.address().is_v6();
        return leftV6 != rightV6 ? rightV6 : left < right;
    });
    endpoints.erase(std::unique(endpoints.begin(), endpoints.end()), endpoints.end());
    return endpoints;
}

void Querier::settle(TimePoint now) {
    cache_.expire(now);
    std::set<std::string> listed;
    for (const CachedRecord* cached : cache_.find(serviceType_, RecordType::ptr, true)) {
        listed.insert(std::get<DnsName>(cached->record.data).key());
    }
    for (auto entry = instances_.begin(); entry != instances_.end();) {
        Instance& instance = entry->second;
        // Gone with its PTR record, or with its SRV record once that was not renewed:
        // nothing can reach it then, even while the longer-lived PTR record lasts.
        bool gone = !listed.contains(entry->first);
        if (!gone && instance.located &&
            cache_.find(instance.name, RecordType::srv, true).empty()) {
            cache_.eraseIf([this, &entry](const CachedRecord& cached) {
                return cached.record.type == RecordType::ptr &&
                       cached.record.name.key() == serviceType_.key() &&
                       std::get<DnsName>(cached.record.data).key() == entry->first;
            });
            gone = true;
        }
        if (gone) {
            resolves_.erase(entry->first);
            if (instance.reported) {
                reports_.push_back([this, name = instance.name] { events_.removed(name); });
            }
            entry = instances_.erase(entry);
        } else {
            ++entry;
        }
    }
    // What no instance leads to any more is neither kept nor asked for again: the
    // locations of instances gone, the addresses of hosts no location names.
    const std::set<std::string> targets = hosts();
    cache_.eraseIf([&](const CachedRecord& cached) {
        const std::string key = cached.record.name.key();
        switch (cached.record.type) {
            case RecordType::srv:
                return !instances_.contains(key);
            case RecordType::a:
            case RecordType::aaaa:
                return !targets.contains(key);
            default:
                return false;
        }
    });
    // New instances are reported after the removals, so that a name that went and came
    // back in one go is told in that order.
    for (auto& [key, instance] : instances_) {
        if (!instance.reported) {
            instance.reported = true;
            reports_.push_back([this, name = instance.name] { events_.found(name); });
        }
    }
    for (auto& [key, resolve] : resolves_) {
        using Phase = Resolve::Phase;
        if (resolve.phase == Phase::failed) {
            continue;
        }
        std::vector<asio::ip::tcp::endpoint> endpoints = endpointsOf(resolve.instance);
        if (resolve.phase == Phase::resolving && endpoints.empty()) {
            // Addresses that went before they were reported are waited for again.
            resolve.settleAt.reset();
            if (resolve.deadline <= now) {
                resolve.phase = Phase::failed;
                reportFor(resolve, [this, key = key, name = resolve.instance] {
                    resolves_.erase(key);
                    events_.notResolved(name);
                });
            }
            continue;
        }
        // A watch has nothing to tell while its addresses are the ones reported, or none.
        if (resolve.phase == Phase::watching &&
            (endpoints.empty() || endpoints == resolve.endpoints)) {
            resolve.settleAt.reset();
            continue;
        }
        if (!resolve.settleAt) {
            resolve.settleAt = now + settleTime;
        }
        const bool bothFamilies =
            endpoints.front().address().is_v4() && endpoints.back().address().is_v6();
        const bool complete = bothFamilies || !resolve.askedAddresses;
        const bool due = *resolve.settleAt <= now || (resolve.phase == Phase::resolving &&
                                                      (complete || resolve.deadline <= now));
        if (due) {
            resolve.phase = Phase::watching;
            resolve.settleAt.reset();
            resolve.endpoints = endpoints;
            reportFor(resolve, [this, name = resolve.instance, endpoints = std::move(endpoints)] {
                events_.resolved(name, endpoints);
            });
        }
    }
}

void Querier::reportFor(const Resolve& resolve, std::function<void()> report) {
    reports_.push_back(
        [this, key = resolve.instance.key(), serial = resolve.serial, report = std::move(report)] {
            const auto current = resolves_.find(key);
            if (current != resolves_.end() && current->second.serial == serial) {
                report();
            }
        });
}

void Querier::report() {
    std::vector<std::function<void()>> reports = std::move(reports_);
    reports_.clear();
    for (const auto& each : reports) {
        each();
    }
}

TimePoint Querier::nextWake() const {
    TimePoint next = nextBrowse_;
    if (oneShotLinks_) {
        next = std::min(next, nextOneShot_);
    }
    if (const std::optional<TimePoint> cached = cache_.nextEvent()) {
        next = std::min(next, *cached);
    }
    for (const auto& [key, resolve] : resolves_) {
        next = std::min(next, resolve.settleAt.value_or(TimePoint::max()));
        if (resolve.phase == Resolve::Phase::resolving) {
            next = std::min({next, resolve.nextAsk, resolve.deadline});
        }
    }
    return next;
}

Querier::Questions Querier::missingFor(const DnsName& instance) const {
    Questions questions;
    const std::vector<const CachedRecord*> locations = cache_.find(instance, RecordType::srv);
    if (locations.empty()) {
        addQuestion(questions, instance, RecordType::srv);
    }
    for (const CachedRecord* srv : locations) {
        const DnsName& target = dataOf<ServiceLocation>(*srv)->target;
        for (const std::uint16_t type : {RecordType::a, RecordType::aaaa}) {
            if (cache_.find(target, type).empty()) {
                addQuestion(questions, target, type);
            }
        }
    }
    return questions;
}

void Querier::sendQueries(TimePoint now) {
    const std::vector<Link> links = events_.links();
    // A link not queried before is browsed at once, and the intervals start over.
    bool newLink = false;
    for (const Link& link : links) {
        newLink = newLink || !std::ranges::binary_search(knownLinks_, link);
    }
    knownLinks_ = links;
    std::ranges::sort(knownLinks_);
    oneShotLinks_ = std::ranges::any_of(links, &Link::oneShot);

    if (newLink && everQueried_) {
        nextBrowse_ = now;
        browseInterval_ = firstInterval;
    }
    const bool browse = nextBrowse_ <= now;
    if (browse) {
        everQueried_ = true;
        nextBrowse_ = now + browseInterval_;
        browseInterval_ = std::min<Clock::duration>(browseInterval_ * 2, longestInterval);
    }
    const bool browseOneShot = nextOneShot_ <= now;
    if (browseOneShot) {
        nextOneShot_ = now + oneShotInterval;
    }

    Questions common;
    for (auto& [key, resolve] : resolves_) {
        if (resolve.phase == Resolve::Phase::resolving && resolve.nextAsk <= now) {
            for (const Question& question : missingFor(resolve.instance)) {
                addQuestion(common, question.name, question.type);
                resolve.askedAddresses = resolve.askedAddresses || question.type != RecordType::srv;
            }
            resolve.nextAsk = now + resolve.askInterval;
            resolve.askInterval *= 2;
        }
    }
    for (const CachedRecord* cached : cache_.takeDueRefreshes(now)) {
        addQuestion(common, cached->record.name, cached->record.type);
    }

    for (const Link& link : links) {
        DnsMessage query;
        if (link.oneShot ? browseOneShot : browse) {
            addQuestion(query.questions, serviceType_, RecordType::ptr);
        }
        for (const Question& question : common) {
            addQuestion(query.questions, question.name, question.type);
        }
        if (query.questions.empty()) {
            continue;
        }
        if (link.oneShot) {
            // Answered by unicast to this id and port; known answers are not used.
            std::uniform_int_distribution<int> id(1, 0xFFFF);
            query.id = static_cast<std::uint16_t>(id(random_));
            events_.send(link, writeMessage(query));
            continue;
        }
        // Known answers: what this interface told us that still has more than half its
        // life; their holders need not answer again.
        for (const Question& question : query.questions) {
            for (const CachedRecord* cached : cache_.find(question.name, question.type)) {
                if (cached->interface == link.interface && cached->knownAnswerAt(now)) {
                    ResourceRecord known = cached->record;
                    known.cacheFlush = false;
                    known.ttl = cached->secondsLeftAt(now);
                    query.answers.push_back(std::move(known));
                }
            }
        }
        std::vector<std::uint8_t> bytes = writeMessage(query);
        while (bytes.size() > querySize && !query.answers.empty()) {
            query.answers.pop_back();
            bytes = writeMessage(query);
        }
        events_.send(link, bytes);
    }
}

}  // namespace corvane::mdns
