#pragma once

#include <asio/ip/udp.hpp>
#include <cstdint>

namespace corvane::mdns {

// Opens `socket` (closing it first if open) for `protocol`, IPv6 sockets for IPv6 only,
// and binds it to `port` shared with any other responder on the host (address reuse), with
// multicast hop limits of 255 as multicast DNS wants and its own multicast looped back, so
// that programs on this host hear each other. Whether it could be bound; closed if not.
bool openMulticastSocket(asio::ip::udp::socket& socket, const asio::ip::udp& protocol,
                         std::uint16_t port);

}  // namespace corvane::mdns
