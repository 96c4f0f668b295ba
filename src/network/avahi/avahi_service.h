#pragma once

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>

#include <array>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "network/service_discovery.h"

namespace corvane::avahi {

// One logical service as Avahi names it. Resolves on any interface and protocol, to the
// host's IPv4 and IPv6 addresses both, and goes on watching them until stopped: a
// changed address is reported as a new resolve.
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
    std::vector<asio::ip::tcp::endpoint> endpoints() const override { return endpoints_; }
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
    // One resolver's answers: whether it has answered the resolve, and its address.
    struct Answer {
        bool answered = false;
        std::optional<asio::ip::tcp::endpoint> endpoint;
    };
    // Whether a resolve waits for answers (not yet reported).
    bool resolving() const;
    std::vector<asio::ip::tcp::endpoint> answeredEndpoints() const;
    void finishAtDeadline();
    void answered(AvahiServiceResolver* resolver, std::optional<asio::ip::tcp::endpoint> found);
    void finishResolve();
    void reportFailureLater();

    asio::io_context& loop_;
    ServiceDiscoveryListener& listener_;
    const Name name_;
    AvahiClient* client_;
    // One resolver per address family, kept until stop().
    std::array<AvahiServiceResolver*, 2> resolvers_{};
    std::array<Answer, 2> answers_{};
    // Whether the current resolve has been reported.
    bool reported_ = false;
    asio::steady_timer timeout_;
    std::vector<asio::ip::tcp::endpoint> endpoints_;
};

}  // namespace corvane::avahi
