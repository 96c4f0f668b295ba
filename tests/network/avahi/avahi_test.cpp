#include <gtest/gtest.h>

#include <string>

#include <asio/ip/tcp.hpp>

#include "network/avahi/asio_avahi_poll.h"
#include "network/descriptors_used_up.h"
#include "support/child_process.h"

namespace corvane::testing {
namespace {

using namespace std::chrono_literals;

// Avahi is told that a watch cannot be made; nothing is thrown at it.
TEST(AsioAvahiPoll, AWatchThatCannotBeMadeWithoutDescriptorsIsNull) {
    asio::io_context loop;
    const avahi::AsioAvahiPoll poll(loop);
    const AvahiPoll* api = poll.api();
    const auto ignore = [](AvahiWatch*, int, AvahiWatchEvent, void*) {};
    // The first watch makes the loop's own descriptors.
    api->watch_free(api->watch_new(api, STDERR_FILENO, AVAHI_WATCH_IN, ignore, nullptr));
    const DescriptorsUsedUp full;
    EXPECT_EQ(api->watch_new(api, STDERR_FILENO, AVAHI_WATCH_IN, ignore, nullptr), nullptr);
}

// Taken, not local, link-local without an interface, not an address.
TEST(PeerTool, AnAddressItCannotListenOnEndsItWithOneLineAndStatus2) {
    asio::io_context io;
    const asio::ip::tcp::acceptor taken(io, {asio::ip::address_v4::loopback(), 0});
    const std::string port = std::to_string(taken.local_endpoint().port());
    for (const std::string& listen : {"127.0.0.1 --port " + port, std::string("192.0.2.1"),
                                      std::string("fe80::1"), std::string("localhost")}) {
        ChildProcess peer(
            {"sh", "-c", "exec \"$0\" --listen " + listen + " name 1 2>&1", CORVANE_PEER_PATH});
        std::vector<std::string> lines;
        while (auto line = peer.readLine(5s)) {
            lines.push_back(*line);
        }
        EXPECT_EQ(peer.wait(5s), 2) << listen;
        EXPECT_EQ(lines.size(), 1U) << ::testing::PrintToString(lines);
    }
}

}  // namespace
}  // namespace corvane::testing
