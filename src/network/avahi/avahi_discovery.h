#pragma once

#include <asio/io_context.hpp>
#include <memory>

#include "network/service_discovery.h"

namespace corvane::avahi {

// DNS-SD through the Avahi daemon, driven by `loop` (the client's own loop, no extra
// thread). Waits for the daemon when it is not running, and when it restarts browses again
// and resumes every resolve and watch; services not seen again within a few seconds of
// that are reported removed. Says on standard error, in one line each, when the daemon
// goes and when it is back.
std::unique_ptr<ServiceDiscovery> makeAvahiDiscovery(asio::io_context& loop,
                                                     ServiceDiscoveryListener& listener);

}  // namespace corvane::avahi
