#include "network/mdns/posix/posix_interfaces.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string>

namespace corvane::mdns::posix {
namespace {

unsigned prefixLength(const sockaddr* netmask) {
    if (netmask == nullptr) {
        return 0;
    }
    const std::uint8_t* bytes = nullptr;
    std::size_t size = 0;
    if (netmask->sa_family == AF_INET) {
        bytes = reinterpret_cast<const std::uint8_t*>(
            &reinterpret_cast<const sockaddr_in*>(netmask)->sin_addr);
        size = 4;
    } else if (netmask->sa_family == AF_INET6) {
        bytes = reinterpret_cast<const sockaddr_in6*>(netmask)->sin6_addr.s6_addr;
        size = 16;
    }
    unsigned length = 0;
    for (std::size_t i = 0; i < size; ++i) {
        length += static_cast<unsigned>(std::popcount(bytes[i]));
    }
    return length;
}

std::optional<asio::ip::address> addressOf(const sockaddr* address) {
    if (address == nullptr) {
        return std::nullopt;
    }
    if (address->sa_family == AF_INET) {
        asio::ip::address_v4::bytes_type bytes;
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
        return asio::ip::address_v4(bytes);
    }
    if (address->sa_family == AF_INET6) {
        asio::ip::address_v6::bytes_type bytes;
        std::memcpy(bytes.data(), reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr,
                    16);
        return asio::ip::address_v6(bytes);
    }
    return std::nullopt;
}

}  // namespace

std::vector<NetworkInterface> listNetworkInterfaces() {
    std::vector<NetworkInterface> interfaces;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        return interfaces;
    }
    for (const ifaddrs* each = list; each != nullptr; each = each->ifa_next) {
        auto interface =
            std::ranges::find(interfaces, std::string(each->ifa_name), &NetworkInterface::name);
        if (interface == interfaces.end()) {
            interfaces.push_back({each->ifa_name,
                                  if_nametoindex(each->ifa_name),
                                  (each->ifa_flags & IFF_UP) != 0,
                                  (each->ifa_flags & IFF_LOOPBACK) != 0,
                                  (each->ifa_flags & IFF_MULTICAST) != 0,
                                  {}});
            interface = interfaces.end() - 1;
        }
        if (const std::optional<asio::ip::address> address = addressOf(each->ifa_addr)) {
            interface->addresses.push_back({*address, prefixLength(each->ifa_netmask)});
        }
    }
    freeifaddrs(list);
    return interfaces;
}

}  // namespace corvane::mdns::posix
