#pragma once

#include <asio/io_context.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network/mdns/network_interfaces.h"
#include "network/mdns/transport.h"

namespace corvane::mdns {

struct UdpTransportOptions {
    ListInterfaces listInterfaces;
    // Interfaces to use, by name; empty: every multicast-capable one.
    std::vector<std::string> interfaces;
    std::function<void(const std::string&)> log;
};

// Multicast DNS over UDP on `loop`: one socket per address family, on port 5353 shared
// with any other responder on the host, joined to 224.0.0.251 and ff02::fb on each
// interface in use. Where 5353 cannot be had, a socket on a port of the system's choice
// sends one-shot queries instead, and `options.log` is told.
std::unique_ptr<Transport> makeUdpTransport(asio::io_context& loop,
                                            const UdpTransportOptions& options, PacketSink sink);

}  // namespace corvane::mdns
