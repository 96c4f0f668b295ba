#pragma once

#include <asio/io_context.hpp>
#include <memory>

#include "network/service_discovery.h"

namespace corvane::avahi {

// DNS-SD through the Avahi daemon, driven by `loop` (the client's own loop, no extra
// thread). Waits for the daemon when it is not running and browses again by itself
// after it restarts.
std::unique_ptr<ServiceDiscovery> makeAvahiDiscovery(asio::io_context& loop,
                                                     ServiceDiscoveryListener& listener);

}  // namespace corvane::avahi
