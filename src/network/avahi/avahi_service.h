#pragma once

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <memory>
#include <optional>
#include <string>

#include "network/service_discovery.h"

namespace corvane::avahi {

// One logical service as Avahi names it. Resolves on any interface and protocol.
class AvahiService final : public DiscoveredService,
                           public std::enable_shared_from_this<AvahiService> {
  public:
    struct Name {
        std::string name;
        std::string type;
        std::string domain;
        auto operator<=>(const Name&) const = default;
    };

    AvahiService(asio::io_context& loop, ServiceDiscoveryListener& listener, Name name,
                 AvahiClient* client);
    ~AvahiService() override;

    std::string name() const override { return name_.name; }
    void resolve(std::chrono::milliseconds timeout) override;
    std::optional<asio::ip::tcp::endpoint> endpoint() const override { return endpoint_; }
    void stop() override;

    // The Avahi client this service resolves through; null while there is none. A
    // resolve running on the old client is ended and reported as failed.
    void setClient(AvahiClient* client);

  private:
    static void resolved(AvahiServiceResolver* resolver, AvahiIfIndex interface,
                         AvahiProtocol protocol, AvahiResolverEvent event, const char* name,
                         const char* type, const char* domain, const char* host,
                         const AvahiAddress* address, uint16_t port, AvahiStringList* txt,
                         AvahiLookupResultFlags flags, void* userdata);
    void finishResolve(bool succeeded);
    void reportFailureLater();

    asio::io_context& loop_;
    ServiceDiscoveryListener& listener_;
    const Name name_;
    AvahiClient* client_;
    AvahiServiceResolver* resolver_ = nullptr;
    asio::steady_timer timeout_;
    std::optional<asio::ip::tcp::endpoint> endpoint_;
};

}  // namespace corvane::avahi
