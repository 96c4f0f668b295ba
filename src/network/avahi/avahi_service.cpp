#include "network/avahi/avahi_service.h"

#include <avahi-common/address.h>

#include <algorithm>
#include <asio/ip/address.hpp>
#include <asio/post.hpp>

namespace corvane::avahi {
namespace {

constexpr std::array<AvahiProtocol, 2> addressFamilies{AVAHI_PROTO_INET, AVAHI_PROTO_INET6};
// Where each family's address is asked for: Avahi publishes IPv4 addresses over IPv4
// mDNS only (IPv6 ones over both), so an IPv4 address asked for over IPv6 never comes.
constexpr std::array<AvahiProtocol, 2> lookupProtocols{AVAHI_PROTO_INET, AVAHI_PROTO_UNSPEC};

// Once one family has answered, the other is waited for this long at most: a host's
// addresses come together, and a peer without one family should not cost the whole
// resolve timeout.
constexpr std::chrono::milliseconds otherFamilyWait{500};

std::optional<asio::ip::tcp::endpoint> endpointOf(const AvahiAddress& address,
                                                  AvahiIfIndex interface, uint16_t port) {
    char text[AVAHI_ADDRESS_STR_MAX];
    avahi_address_snprint(text, sizeof text, &address);
    std::error_code error;
    asio::ip::address ip = asio::ip::make_address(text, error);
    if (error) {
        return std::nullopt;
    }
    if (ip.is_v6() && ip.to_v6().is_link_local()) {
        asio::ip::address_v6 v6 = ip.to_v6();
        v6.scope_id(static_cast<unsigned>(interface));
        ip = v6;
    }
    return asio::ip::tcp::endpoint(ip, port);
}

}  // namespace

AvahiService::AvahiService(asio::io_context& loop, ServiceDiscoveryListener& listener, Name name,
                           AvahiClient* client)
    : loop_(loop), listener_(listener), name_(std::move(name)), client_(client), timeout_(loop) {}

AvahiService::~AvahiService() {
    stop();
}

bool AvahiService::resolving() const {
    return !reported_ &&
           std::ranges::any_of(resolvers_, [](const auto* r) { return r != nullptr; });
}

void AvahiService::resolve(std::chrono::milliseconds timeout) {
    stop();
    answers_ = {};
    reported_ = false;
    // Hosts publish addresses of both families, a peer may listen on one family only, and
    // which answer comes first varies: every address found is kept, to be tried in turn.
    if (client_ != nullptr) {
        for (std::size_t family = 0; family < resolvers_.size(); ++family) {
            resolvers_[family] = avahi_service_resolver_new(
                client_, AVAHI_IF_UNSPEC, lookupProtocols[family], name_.name.c_str(),
                name_.type.c_str(), name_.domain.c_str(), addressFamilies[family],
                static_cast<AvahiLookupFlags>(0), resolved, this);
        }
    }
    if (std::ranges::count(resolvers_, nullptr) != 0) {
        stop();
        reportFailureLater();
        return;
    }
    timeout_.expires_after(timeout);
    finishAtDeadline();
}

void AvahiService::finishAtDeadline() {
    timeout_.async_wait([weak = weak_from_this()](const std::error_code& error) {
        const auto self = weak.lock();
        if (!error && self && self->resolving()) {
            self->finishResolve();
        }
    });
}

void AvahiService::stop() {
    timeout_.cancel();
    for (AvahiServiceResolver*& resolver : resolvers_) {
        if (resolver != nullptr) {
            avahi_service_resolver_free(std::exchange(resolver, nullptr));
        }
    }
}

void AvahiService::setClient(AvahiClient* client) {
    if (client_ == client) {
        return;
    }
    const bool wasResolving = resolving();
    stop();
    client_ = client;
    if (wasResolving) {
        reportFailureLater();
    }
}

// Outcomes are reported from the loop, never from inside the call that asked for the
// resolve, so that the caller's own bookkeeping for it comes first.
void AvahiService::reportFailureLater() {
    asio::post(loop_, [weak = weak_from_this()] {
        if (const auto self = weak.lock()) {
            self->listener_.serviceDidNotResolve(self);
        }
    });
}

std::vector<asio::ip::tcp::endpoint> AvahiService::answeredEndpoints() const {
    std::vector<asio::ip::tcp::endpoint> found;
    for (const Answer& answer : answers_) {
        if (answer.endpoint && std::ranges::find(found, *answer.endpoint) == found.end()) {
            found.push_back(*answer.endpoint);
        }
    }
    return found;
}

void AvahiService::answered(AvahiServiceResolver* resolver,
                            std::optional<asio::ip::tcp::endpoint> found) {
    const auto family = std::ranges::find(resolvers_, resolver);
    if (family == resolvers_.end()) {
        return;
    }
    Answer& answer = answers_[std::size_t(family - resolvers_.begin())];
    if (reported_) {
        // The resolvers keep watching the peer's records: a new address (the peer was
        // renumbered, or came back elsewhere) is reported as a new resolve. A record that
        // merely expires is left to the browser, which reports the service gone.
        if (found && found != answer.endpoint) {
            answer.endpoint = found;
            endpoints_ = answeredEndpoints();
            listener_.serviceResolved(shared_from_this());
        }
        return;
    }
    answer = {true, found ? found : answer.endpoint};
    if (std::ranges::all_of(answers_, &Answer::answered)) {
        finishResolve();
    } else if (!answeredEndpoints().empty() &&
               timeout_.expiry() - asio::steady_timer::clock_type::now() > otherFamilyWait) {
        timeout_.expires_after(otherFamilyWait);
        finishAtDeadline();
    }
}

void AvahiService::finishResolve() {
    timeout_.cancel();
    std::vector<asio::ip::tcp::endpoint> found = answeredEndpoints();
    if (found.empty()) {
        stop();
        listener_.serviceDidNotResolve(shared_from_this());
        return;
    }
    reported_ = true;
    endpoints_ = std::move(found);
    listener_.serviceResolved(shared_from_this());
}

void AvahiService::resolved(AvahiServiceResolver* resolver, AvahiIfIndex interface, AvahiProtocol,
                            AvahiResolverEvent event, const char*, const char*, const char*,
                            const char*, const AvahiAddress* address, uint16_t port,
                            AvahiStringList*, AvahiLookupResultFlags, void* userdata) {
    auto* self = static_cast<AvahiService*>(userdata);
    std::optional<asio::ip::tcp::endpoint> found;
    if (event == AVAHI_RESOLVER_FOUND && address != nullptr) {
        found = endpointOf(*address, interface, port);
    }
    self->answered(resolver, found);
}

}  // namespace corvane::avahi
