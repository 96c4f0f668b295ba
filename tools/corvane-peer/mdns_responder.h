#pragma once

// A multicast DNS responder for one service, for where the tool advertises by itself
// (Windows): it announces the service on each interface in use, answers queries for its
// records, and says goodbye when it ends. It does not probe for its names first: the
// instance name is the user's, and the host name is made unique to this peer.

#include <asio/io_context.hpp>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network/mdns/network_interfaces.h"

namespace corvane::peer {

struct ResponderOptions {
    // The instance name ("My peer"), its type ("_corvane2._tcp") and TCP port.
    std::string name;
    std::string type;
    std::uint16_t port = 0;
    // The platform's list of interfaces, and those to advertise on by name (empty: every
    // multicast-capable one that is up, loopback left out).
    mdns::ListInterfaces listInterfaces;
    std::vector<std::string> interfaces;
};

class MdnsResponder {
  public:
    // `say` gets the line "ready: advertising ..." once announcing starts, or why it cannot.
    MdnsResponder(asio::io_context& loop, ResponderOptions options,
                  std::function<void(const std::string&)> say);
    // Says goodbye on every interface in use before it goes.
    ~MdnsResponder();
    MdnsResponder(const MdnsResponder&) = delete;
    MdnsResponder& operator=(const MdnsResponder&) = delete;

  private:
    class Sockets;
    std::shared_ptr<Sockets> sockets_;
};

}  // namespace corvane::peer
