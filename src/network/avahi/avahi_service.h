#pragma once

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/address.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "network/service_discovery.h"

namespace corvane::avahi {

// One logical service as Avahi names it. A resolve asks for its host name and port, on
// any interface and protocol, and then browses every IPv4 and IPv6 address record of that
// host on every interface; once reported it goes on watching both. Lookups need a client
// of a running daemon: while the daemon is away they pause, and a resolve's deadline runs on.
class AvahiService final : public DiscoveredService,
                           public std::enable_shared_from_this<AvahiService> {
  public:
    struct Name {
        std::string name;
        std::string type;
        std::string domain;
        auto operator<=>(const Name&) const = default;
    };

    AvahiService(asio::io_context& loop, ServiceDiscoveryListener& listener, Name name);
    ~AvahiService() override;

    std::string name() const override { return name_.name; }
    void resolve(std::chrono::milliseconds timeout) override;
    std::vector<asio::ip::tcp::endpoint> endpoints() const override { return endpoints_; }
    void stop() override;

    // `client` runs: the lookups of a resolve or a watch start (again), keeping what they
    // found before.
    void clientReady(AvahiClient* client);
    // The daemon is gone: lookups end before the client is freed; what they found is kept.
    void clientLost();

  private:
    enum class Phase {
        idle,       // neither resolving nor watching
        resolving,  // gathering the first answers, until reported or the deadline
        watching,   // reported; a changed set of addresses is reported again
    };
    // An address record as seen: the address, the interface and protocol it came over.
    using Sighting = std::tuple<asio::ip::address, AvahiIfIndex, AvahiProtocol>;

    static void serviceAnswered(AvahiServiceResolver* resolver, AvahiIfIndex interface,
                                AvahiProtocol protocol, AvahiResolverEvent event, const char* name,
                                const char* type, const char* domain, const char* host,
                                const AvahiAddress* address, uint16_t port, AvahiStringList* txt,
                                AvahiLookupResultFlags flags, void* userdata) noexcept;
    static void addressAnswered(AvahiRecordBrowser* browser, AvahiIfIndex interface,
                                AvahiProtocol protocol, AvahiBrowserEvent event, const char* name,
                                uint16_t recordClass, uint16_t type, const void* data,
                                std::size_t size, AvahiLookupResultFlags flags,
                                void* userdata) noexcept;

    void startLookups();
    void browseAddresses();
    void endLookups();
    void answersChanged();
    void settled();
    void stopSettling();
    void report();
    void fail();
    std::vector<asio::ip::tcp::endpoint> answeredEndpoints() const;

    asio::io_context& loop_;
    ServiceDiscoveryListener& listener_;
    const Name name_;
    AvahiClient* client_ = nullptr;
    Phase phase_ = Phase::idle;
    AvahiServiceResolver* resolver_ = nullptr;
    // The host's A and AAAA records, and whether each browser has read Avahi's cache.
    std::array<AvahiRecordBrowser*, 2> addressBrowsers_{};
    std::array<bool, 2> cacheRead_{};
    std::string host_;
    std::uint16_t port_ = 0;
    std::set<Sighting> sightings_;
    asio::steady_timer deadline_;
    // Answers come in bursts (both families, several interfaces): they are reported once
    // they have settled.
    asio::steady_timer settle_;
    bool settling_ = false;
    // Tells a settle wait that was replaced or cancelled after it came due.
    unsigned settleGeneration_ = 0;
    std::vector<asio::ip::tcp::endpoint> endpoints_;
};

}  // namespace corvane::avahi
