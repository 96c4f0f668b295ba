#pragma once

#include <ostream>

#include "network/service_discovery.h"
#include "shell/discovery_choice.h"

namespace corvane::linux_shell {

// The discovery the user chose, avahi-daemon or the built-in browser; says which on `say`
// in one line. The built-in browser's lines go to standard error.
ServiceDiscoveryFactory selectDiscovery(const DiscoveryChoice& choice, std::ostream& say);

}  // namespace corvane::linux_shell
