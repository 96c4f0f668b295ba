#include "network/unacknowledged_limit.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

namespace corvane {

namespace {

// TCP_MAXRT of ws2ipdef.h, which mingw-w64's headers lack: how long, in whole seconds, a
// connection retransmits unacknowledged bytes before the system ends it.
constexpr int tcpMaxRetransmissionTime = 5;

}  // namespace

void setUnacknowledgedLimit(asio::ip::tcp::socket& socket, std::chrono::milliseconds limit) {
    // Rounded up, and never 0, which would leave the system's default in place.
    const auto seconds = static_cast<DWORD>(std::max<std::chrono::seconds::rep>(
        1, std::chrono::ceil<std::chrono::seconds>(limit).count()));
    ::setsockopt(socket.native_handle(), IPPROTO_TCP, tcpMaxRetransmissionTime,
                 reinterpret_cast<const char*>(&seconds), sizeof seconds);
}

}  // namespace corvane
