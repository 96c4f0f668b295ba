#pragma once

// The host's network interfaces as the browser needs them; the platform lists them.

#include <asio/ip/address.hpp>
#include <functional>
#include <string>
#include <vector>

namespace corvane::mdns {

struct InterfaceAddress {
    asio::ip::address address;
    unsigned prefixLength = 0;
};

struct NetworkInterface {
    std::string name;
    unsigned index = 0;
    bool up = false;
    bool loopback = false;
    bool multicast = false;
    std::vector<InterfaceAddress> addresses;
};

using ListInterfaces = std::function<std::vector<NetworkInterface>()>;

// The interfaces to browse on: those named in `names`, when up; without names, every
// interface that is up and multicast-capable, loopback left out.
std::vector<NetworkInterface> usableInterfaces(const std::vector<NetworkInterface>& all,
                                               const std::vector<std::string>& names);

// The interface, among `interfaces`, whose network `source` is on: by scope for
// link-local IPv6, else by prefix. 0 when none is.
unsigned interfaceOf(const asio::ip::address& source, unsigned scope,
                     const std::vector<NetworkInterface>& interfaces);

}  // namespace corvane::mdns
