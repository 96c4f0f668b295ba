#pragma once

#include <vector>

#include "network/mdns/network_interfaces.h"

namespace corvane::mdns::posix {

// The host's interfaces and their addresses, from getifaddrs.
std::vector<NetworkInterface> listNetworkInterfaces();

}  // namespace corvane::mdns::posix
