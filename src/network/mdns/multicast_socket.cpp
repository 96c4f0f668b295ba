#include "network/mdns/multicast_socket.h"

#include <asio/ip/multicast.hpp>
#include <asio/ip/unicast.hpp>
#include <asio/ip/v6_only.hpp>

namespace corvane::mdns {

using asio::ip::udp;

bool openMulticastSocket(udp::socket& socket, const udp& protocol, std::uint16_t port) {
    std::error_code error;
    if (socket.is_open()) {
        socket.close(error);
    }
    socket.open(protocol, error);
    if (!error && protocol == udp::v6()) {
        socket.set_option(asio::ip::v6_only(true), error);
    }
    if (!error) {
        socket.set_option(udp::socket::reuse_address(true), error);
    }
    if (!error) {
        socket.bind(udp::endpoint(protocol, port), error);
    }
    if (error) {
        socket.close(error);
        return false;
    }
    std::error_code ignored;
    socket.set_option(asio::ip::multicast::hops(255), ignored);
    socket.set_option(asio::ip::unicast::hops(255), ignored);
    socket.set_option(asio::ip::multicast::enable_loopback(true), ignored);
    return true;
}

}  // namespace corvane::mdns
