#include "network/mdns/network_interfaces.h"

#include <algorithm>

namespace corvane::mdns {
namespace {

template <typename Bytes>
bool samePrefix(const Bytes& left, const Bytes& right, unsigned prefixLength) {
    for (std::size_t i = 0; i < left.size() && prefixLength > 0; ++i) {
        const unsigned bits = std::min(prefixLength, 8U);
        const auto mask = static_cast<std::uint8_t>(0xFF << (8 - bits));
        if ((left[i] & mask) != (right[i] & mask)) {
            return false;
        }
        prefixLength -= bits;
    }
    return true;
}

bool onNetwork(const asio::ip::address& source, const InterfaceAddress& local) {
    if (source.is_v4() && local.address.is_v4()) {
        return samePrefix(source.to_v4().to_bytes(), local.address.to_v4().to_bytes(),
                          local.prefixLength);
    }
    if (source.is_v6() && local.address.is_v6()) {
        return samePrefix(source.to_v6().to_bytes(), local.address.to_v6().to_bytes(),
                          local.prefixLength);
    }
    return false;
}

}  // namespace

std::vector<NetworkInterface> usableInterfaces(const std::vector<NetworkInterface>& all,
                                               const std::vector<std::string>& names) {
    std::vector<NetworkInterface> usable;
    for (const NetworkInterface& interface : all) {
        const bool chosen = names.empty() ? interface.multicast && !interface.loopback
                                          : std::ranges::find(names, interface.name) != names.end();
        if (chosen && interface.up && interface.index != 0) {
            usable.push_back(interface);
        }
    }
    return usable;
}

unsigned interfaceOf(const asio::ip::address& source, unsigned scope,
                     const std::vector<NetworkInterface>& interfaces) {
    if (source.is_v6() && source.to_v6().is_link_local()) {
        const auto found = std::ranges::find(interfaces, scope, &NetworkInterface::index);
        return found == interfaces.end() ? 0 : scope;
    }
    for (const NetworkInterface& interface : interfaces) {
        if (std::ranges::any_of(interface.addresses,
                                [&](const auto& local) { return onNetwork(source, local); })) {
            return interface.index;
        }
    }
    return 0;
}

}  // namespace corvane::mdns
