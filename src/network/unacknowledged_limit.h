#pragma once

#include <asio/ip/tcp.hpp>
#include <chrono>

namespace corvane {

// Makes the system end `socket`'s connection when bytes it wrote stay unacknowledged for
// `limit` (Linux: TCP_USER_TIMEOUT; Windows: TCP_MAXRT, in whole seconds). Without such an
// option the system's own, much longer, retransmission limit applies. Each platform has its
// own file (posix/, win32/).
void setUnacknowledgedLimit(asio::ip::tcp::socket& socket, std::chrono::milliseconds limit);

}  // namespace corvane
