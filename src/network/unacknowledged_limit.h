#pragma once

#include <asio/ip/tcp.hpp>
#include <chrono>

namespace corvane {

// Makes the system end `socket`'s connection when bytes it wrote stay unacknowledged for
// `limit` (Linux: TCP_USER_TIMEOUT). Without such an option the system's own, much longer,
// retransmission limit applies. Each platform has its own file (posix/; a Windows twin
// would set TCP_MAXRT, which counts whole seconds).
void setUnacknowledgedLimit(asio::ip::tcp::socket& socket, std::chrono::milliseconds limit);

}  // namespace corvane
