#include "network/avahi/avahi_service.h"

#include <avahi-common/defs.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace corvane::avahi {
namespace {

using Clock = asio::steady_timer::clock_type;

constexpr std::array<std::uint16_t, 2> addressTypes{AVAHI_DNS_TYPE_A, AVAHI_DNS_TYPE_AAAA};

// How long after the first address of a burst it is reported: a host's addresses come
// together, and a peer without one family should not cost a resolve its whole deadline.
constexpr std::chrono::milliseconds settleTime{500};

std::optional<asio::ip::address> addressOf(std::uint16_t type, const void* data, std::size_t size) {
    if (type == AVAHI_DNS_TYPE_A && size == 4) {
        asio::ip::address_v4::bytes_type bytes;
        std::memcpy(bytes.data(), data, size);
        return asio::ip::address_v4(bytes);
    }
    if (type == AVAHI_DNS_TYPE_AAAA && size == 16) {
        asio::ip::address_v6::bytes_type bytes;
        std::memcpy(bytes.data(), data, size);
        return asio::ip::address_v6(bytes);
    }
    return std::nullopt;
}

}  // namespace

AvahiService::AvahiService(asio::io_context& loop, ServiceDiscoveryListener& listener, Name name)
    : loop_(loop), listener_(listener), name_(std::move(name)), deadline_(loop), settle_(loop) {}

AvahiService::~AvahiService() {
    stop();
}

void AvahiService::resolve(std::chrono::milliseconds timeout) {
    stop();
    sightings_.clear();
    host_.clear();
    port_ = 0;
    phase_ = Phase::resolving;
    deadline_.expires_after(timeout);
    deadline_.async_wait([weak = weak_from_this()](const std::error_code& error) {
        const auto self = weak.lock();
        // A wait that came due as it was replaced finds a later expiry.
        if (error || !self || self->phase_ != Phase::resolving ||
            self->deadline_.expiry() > Clock::now()) {
            return;
        }
        if (self->answeredEndpoints().empty()) {
            self->fail();
        } else {
            self->report();
        }
    });
    startLookups();
}

void AvahiService::stop() {
    phase_ = Phase::idle;
    deadline_.cancel();
    stopSettling();
    endLookups();
}

void AvahiService::clientReady(AvahiClient* client) {
    client_ = client;
    if (phase_ != Phase::idle && resolver_ == nullptr) {
        startLookups();
    }
}

void AvahiService::clientLost() {
    endLookups();
    client_ = nullptr;
}

void AvahiService::startLookups() {
    if (client_ == nullptr) {
        return;
    }
    // Addresses come from the record browsers, which see every one of them.
    resolver_ = avahi_service_resolver_new(
        client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, name_.name.c_str(), name_.type.c_str(),
        name_.domain.c_str(), AVAHI_PROTO_UNSPEC,
        static_cast<AvahiLookupFlags>(AVAHI_LOOKUP_NO_TXT | AVAHI_LOOKUP_NO_ADDRESS),
        serviceAnswered, this);
    if (resolver_ != nullptr && !host_.empty()) {
        browseAddresses();
    }
}

void AvahiService::browseAddresses() {
    for (std::size_t i = 0; i < addressBrowsers_.size(); ++i) {
        if (addressBrowsers_[i] != nullptr) {
            avahi_record_browser_free(std::exchange(addressBrowsers_[i], nullptr));
        }
        // Over either protocol: Avahi publishes IPv4 addresses over IPv4 mDNS only.
        addressBrowsers_[i] = avahi_record_browser_new(
            client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, host_.c_str(), AVAHI_DNS_CLASS_IN,
            addressTypes[i], static_cast<AvahiLookupFlags>(0), addressAnswered, this);
        cacheRead_[i] = addressBrowsers_[i] == nullptr;
    }
}

void AvahiService::endLookups() {
    if (resolver_ != nullptr) {
        avahi_service_resolver_free(std::exchange(resolver_, nullptr));
    }
    for (AvahiRecordBrowser*& browser : addressBrowsers_) {
        if (browser != nullptr) {
            avahi_record_browser_free(std::exchange(browser, nullptr));
        }
    }
}

void AvahiService::serviceAnswered(AvahiServiceResolver* resolver, AvahiIfIndex, AvahiProtocol,
                                   AvahiResolverEvent event, const char*, const char*, const char*,
                                   const char* host, const AvahiAddress*, uint16_t port,
                                   AvahiStringList*, AvahiLookupResultFlags,
                                   void* userdata) noexcept {
    auto* self = static_cast<AvahiService*>(userdata);
    if (resolver != self->resolver_) {
        return;
    }
    if (event != AVAHI_RESOLVER_FOUND || host == nullptr) {
        // The daemon found no host and port in time: a resolve has failed; a watch keeps
        // what it has.
        if (self->phase_ == Phase::resolving) {
            self->fail();
        }
        return;
    }
    self->port_ = port;
    if (self->host_ != host) {
        self->host_ = host;
        self->sightings_.clear();
        self->browseAddresses();
    }
    self->answersChanged();
}

void AvahiService::addressAnswered(AvahiRecordBrowser* browser, AvahiIfIndex interface,
                                   AvahiProtocol protocol, AvahiBrowserEvent event, const char*,
                                   uint16_t, uint16_t type, const void* data, std::size_t size,
                                   AvahiLookupResultFlags, void* userdata) noexcept {
    auto* self = static_cast<AvahiService*>(userdata);
    const auto which = std::ranges::find(self->addressBrowsers_, browser);
    if (which == self->addressBrowsers_.end()) {
        return;
    }
    const std::optional<asio::ip::address> address = addressOf(type, data, size);
    switch (event) {
        case AVAHI_BROWSER_NEW:
            if (address) {
                self->sightings_.emplace(*address, interface, protocol);
            }
            break;
        case AVAHI_BROWSER_REMOVE:
            if (address) {
                self->sightings_.erase({*address, interface, protocol});
            }
            break;
        default:  // the cache is read, or the browser failed: nothing more to wait for
            self->cacheRead_[std::size_t(which - self->addressBrowsers_.begin())] = true;
            break;
    }
    self->answersChanged();
}

void AvahiService::answersChanged() {
    if (phase_ == Phase::idle || (phase_ == Phase::resolving && answeredEndpoints().empty())) {
        return;
    }
    if (phase_ == Phase::resolving && std::ranges::all_of(cacheRead_, std::identity{})) {
        report();
        return;
    }
    if (settling_) {
        return;
    }
    settling_ = true;
    settle_.expires_after(settleTime);
    settle_.async_wait(
        [weak = weak_from_this(), generation = ++settleGeneration_](const std::error_code& error) {
            const auto self = weak.lock();
            if (self && !error && generation == self->settleGeneration_) {
                self->settling_ = false;
                self->settled();
            }
        });
}

void AvahiService::stopSettling() {
    settling_ = false;
    ++settleGeneration_;
    settle_.cancel();
}

void AvahiService::settled() {
    const std::vector<asio::ip::tcp::endpoint> found = answeredEndpoints();
    if (found.empty()) {
        return;  // no address now: a resolve waits for one; a watch keeps the last ones
    }
    if (phase_ == Phase::resolving) {
        report();
    } else if (phase_ == Phase::watching && found != endpoints_) {
        endpoints_ = found;
        listener_.serviceResolved(shared_from_this());
    }
}

void AvahiService::report() {
    phase_ = Phase::watching;
    deadline_.cancel();
    stopSettling();
    endpoints_ = answeredEndpoints();
    listener_.serviceResolved(shared_from_this());
}

void AvahiService::fail() {
    stop();
    listener_.serviceDidNotResolve(shared_from_this());
}

std::vector<asio::ip::tcp::endpoint> AvahiService::answeredEndpoints() const {
    std::vector<asio::ip::tcp::endpoint> found;
    for (const auto& [address, interface, protocol] : sightings_) {
        asio::ip::address reachable = address;
        if (address.is_v6() && address.to_v6().is_link_local()) {
            // Reachable only through the interface it was seen on.
            asio::ip::address_v6 scoped = address.to_v6();
            scoped.scope_id(static_cast<unsigned>(interface));
            reachable = scoped;
        }
        const asio::ip::tcp::endpoint endpoint(reachable, port_);
        if (std::ranges::find(found, endpoint) == found.end()) {
            found.push_back(endpoint);
        }
    }
    return found;
}

}  // namespace corvane::avahi
