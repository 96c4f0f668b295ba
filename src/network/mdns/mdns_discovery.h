#pragma once

// DNS-SD browsing by multicast DNS of our own, on the client's loop: for hosts where no
// avahi-daemon runs. It only asks: it never answers queries and never advertises.

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network/mdns/network_interfaces.h"
#include "network/mdns/transport.h"
#include "network/mdns/wake_timer.h"
#include "network/service_discovery.h"

namespace corvane::mdns {

struct MdnsOptions {
    // The platform's list of interfaces.
    ListInterfaces listInterfaces;
    // Interfaces to browse on, by name; empty: every multicast-capable one.
    std::vector<std::string> interfaces;
    // Where the browser's few lines go (each said once); standard error when empty.
    std::function<void(const std::string&)> log;
};

// A factory for the client: the browser over UDP on the steady clock.
ServiceDiscoveryFactory mdnsDiscovery(MdnsOptions options);

// The browser with its transport and timer handed in: what the factory builds, and what
// tests build with a fake network and a simulated clock. A search opens a transport, a
// stop closes it.
std::unique_ptr<ServiceDiscovery> makeMdnsDiscovery(asio::io_context& loop,
                                                    ServiceDiscoveryListener& listener,
                                                    TransportFactory transport,
                                                    std::unique_ptr<WakeTimer> timer,
                                                    std::uint32_t randomStart);

}  // namespace corvane::mdns
