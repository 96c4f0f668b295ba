#include "network/avahi/avahi_service.h"

#include <avahi-common/address.h>

#include <asio/ip/address.hpp>
#include <asio/post.hpp>

namespace corvane::avahi {
namespace {

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

void AvahiService::resolve(std::chrono::milliseconds timeout) {
    stop();
    if (client_ != nullptr) {
        // The host's IPv4 address: hosts publish IPv6 addresses too, and which of the two
        // comes first varies from one resolve to the next, but a peer that listens on
        // IPv4 only would refuse every connection to the IPv6 one.
        resolver_ = avahi_service_resolver_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                               name_.name.c_str(), name_.type.c_str(),
                                               name_.domain.c_str(), AVAHI_PROTO_INET,
                                               static_cast<AvahiLookupFlags>(0), resolved, this);
    }
    if (resolver_ == nullptr) {
        reportFailureLater();
        return;
    }
    timeout_.expires_after(timeout);
    timeout_.async_wait([weak = weak_from_this()](const std::error_code& error) {
        const auto self = weak.lock();
        if (!error && self && self->resolver_ != nullptr) {
            self->finishResolve(false);
        }
    });
}

void AvahiService::stop() {
    timeout_.cancel();
    if (resolver_ != nullptr) {
        avahi_service_resolver_free(std::exchange(resolver_, nullptr));
    }
}

void AvahiService::setClient(AvahiClient* client) {
    if (client_ == client) {
        return;
    }
    const bool wasResolving = resolver_ != nullptr;
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

void AvahiService::finishResolve(bool succeeded) {
    stop();
    if (succeeded) {
        listener_.serviceResolved(shared_from_this());
    } else {
        listener_.serviceDidNotResolve(shared_from_this());
    }
}

void AvahiService::resolved(AvahiServiceResolver*, AvahiIfIndex interface, AvahiProtocol,
                            AvahiResolverEvent event, const char*, const char*, const char*,
                            const char*, const AvahiAddress* address, uint16_t port,
                            AvahiStringList*, AvahiLookupResultFlags, void* userdata) {
    auto* self = static_cast<AvahiService*>(userdata);
    if (event == AVAHI_RESOLVER_FOUND && address != nullptr) {
        self->endpoint_ = endpointOf(*address, interface, port);
    }
    self->finishResolve(event == AVAHI_RESOLVER_FOUND && self->endpoint_.has_value());
}

}  // namespace corvane::avahi
