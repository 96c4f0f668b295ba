#pragma once

#include <vector>

#include "network/mdns/network_interfaces.h"

namespace corvane::mdns::win32 {

// The host's interfaces and their addresses, from GetAdaptersAddresses. An interface is
// named as Windows shows it to the user ("Ethernet", "Wi-Fi"; under Wine, the Linux name).
std::vector<NetworkInterface> listNetworkInterfaces();

}  // namespace corvane::mdns::win32
