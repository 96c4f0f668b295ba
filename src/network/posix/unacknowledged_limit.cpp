#include "network/unacknowledged_limit.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace corvane {

void setUnacknowledgedLimit(asio::ip::tcp::socket& socket, std::chrono::milliseconds limit) {
#ifdef TCP_USER_TIMEOUT
    const unsigned milliseconds = static_cast<unsigned>(limit.count());
    ::setsockopt(socket.native_handle(), IPPROTO_TCP, TCP_USER_TIMEOUT, &milliseconds,
                 sizeof milliseconds);
#else
    (void)socket;
    (void)limit;
#endif
}

}  // namespace corvane
