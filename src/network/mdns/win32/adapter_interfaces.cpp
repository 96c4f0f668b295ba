#include "network/mdns/win32/adapter_interfaces.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <iphlpapi.h>

#include <cstring>
#include <optional>
#include <string>

namespace corvane::mdns::win32 {
namespace {

std::string utf8(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string converted(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
    converted.pop_back();  // the terminating zero
    return converted;
}

std::optional<asio::ip::address> addressOf(const SOCKET_ADDRESS& address) {
    const sockaddr* socketAddress = address.lpSockaddr;
    if (socketAddress == nullptr) {
        return std::nullopt;
    }
    if (socketAddress->sa_family == AF_INET) {
        asio::ip::address_v4::bytes_type bytes;
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in*>(socketAddress)->sin_addr,
                    bytes.size());
        return asio::ip::address_v4(bytes);
    }
    if (socketAddress->sa_family == AF_INET6) {
        asio::ip::address_v6::bytes_type bytes;
        std::memcpy(bytes.data(), &reinterpret_cast<const sockaddr_in6*>(socketAddress)->sin6_addr,
                    bytes.size());
        return asio::ip::address_v6(bytes);
    }
    return std::nullopt;
}

// The adapters, or nothing when Windows cannot list them. The list may grow between
// asking for its size and reading it: asked again then.
std::optional<std::vector<std::uint8_t>> adapters() {
    constexpr ULONG flags =
        GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    ULONG size = 16 * 1024;
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::vector<std::uint8_t> buffer(size);
        const ULONG result =
            GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                 reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
        if (result == ERROR_SUCCESS) {
            return buffer;
        }
        if (result != ERROR_BUFFER_OVERFLOW) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<NetworkInterface> listNetworkInterfaces() {
    std::vector<NetworkInterface> interfaces;
    const std::optional<std::vector<std::uint8_t>> buffer = adapters();
    if (!buffer) {
        return interfaces;
    }
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(buffer->data());
         adapter != nullptr; adapter = adapter->Next) {
        // Since Vista both indexes name the same interface, and IPv6 scope ids use it;
        // either is 0 where its protocol is off (and Wine leaves the IPv6 one 0).
        NetworkInterface listed{utf8(adapter->FriendlyName),
                                adapter->Ipv6IfIndex != 0 ? adapter->Ipv6IfIndex : adapter->IfIndex,
                                adapter->OperStatus == IfOperStatusUp,
                                adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK,
                                (adapter->Flags & IP_ADAPTER_NO_MULTICAST) == 0,
                                {}};
        for (const IP_ADAPTER_UNICAST_ADDRESS* each = adapter->FirstUnicastAddress; each != nullptr;
             each = each->Next) {
            if (const std::optional<asio::ip::address> address = addressOf(each->Address)) {
                listed.addresses.push_back({*address, each->OnLinkPrefixLength});
            }
        }
        interfaces.push_back(std::move(listed));
    }
    return interfaces;
}

}  // namespace corvane::mdns::win32
