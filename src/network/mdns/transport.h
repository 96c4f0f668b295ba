#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "network/mdns/querier.h"

namespace corvane::mdns {

// Where the browser's messages go and come from: UDP sockets, or a test's fake.
class Transport {
  public:
    virtual ~Transport() = default;
    // The links to query on now (the interfaces are looked at again for each call).
    virtual std::vector<Link> links() = 0;
    virtual void send(const Link& link, std::span<const std::uint8_t> message) = 0;
};

// A message that came in from `sourcePort` on `interface`, called on the loop.
using PacketSink = std::function<void(std::span<const std::uint8_t> message,
                                      std::uint16_t sourcePort, unsigned interface)>;
using TransportFactory = std::function<std::unique_ptr<Transport>(PacketSink sink)>;

}  // namespace corvane::mdns
