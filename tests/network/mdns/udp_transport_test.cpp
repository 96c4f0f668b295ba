// The browser over real UDP sockets, in a network namespace of the test's own with only
// `lo` (nothing leaves it), beside a responder of the test's own that holds port 5353.
// (Sharing the port with avahi-daemon is tested on the network of hosts.)

#include <gtest/gtest.h>

#include <asio/ip/multicast.hpp>
#include <asio/ip/udp.hpp>

#include "support/own_network.h"

namespace corvane::mdns {
namespace {

using namespace std::chrono_literals;
using asio::ip::udp;

// Holds port 5353 without sharing it and answers every query with one peer at
// 127.0.0.1:4000, to the asker's port, as a responder answers one-shot queries.
class Responder {
  public:
    explicit Responder(asio::io_context& loop) : socket_(loop) {
        socket_.open(udp::v4());
        socket_.bind({udp::v4(), 5353});
        socket_.set_option(asio::ip::multicast::join_group(asio::ip::make_address_v4("224.0.0.251"),
                                                           asio::ip::address_v4::loopback()));
        receive();
    }

  private:
    void receive() {
        socket_.async_receive_from(
            asio::buffer(buffer_), from_, [this](std::error_code error, std::size_t size) {
                const std::optional<DnsMessage> query =
                    parseMessage(std::span(buffer_).first(error ? 0 : size));
                if (query && !query->isResponse() && !query->questions.empty()) {
                    answer(*query);
                }
                if (!error) {
                    receive();
                }
            });
    }
    void answer(const DnsMessage& query) {
        const DnsName instance{{"p1", "_corvane2", "_tcp", "local"}};
        const DnsName host = DnsName::fromDotted("host.local");
        DnsMessage response{query.id, DnsMessage::responseFlag | 0x0400, {}, {}, {}, {}};
        response.answers = {
            {DnsName::fromDotted("_corvane2._tcp.local"), RecordType::ptr, classInternet, false, 10,
             instance},
            {instance, RecordType::srv, classInternet, true, 10, ServiceLocation{0, 0, 4000, host}},
            {host, RecordType::a, classInternet, true, 10, asio::ip::address_v4::loopback()}};
        socket_.send_to(asio::buffer(writeMessage(response)), from_);
    }

    udp::socket socket_;
    std::array<std::uint8_t, 9000> buffer_{};
    udp::endpoint from_;
};

using UdpTransportTest = testing::BrowsingOnLoTest;

TEST_F(UdpTransportTest, WherePort5353IsHeldItSaysSoOnceAndAsksFromAnotherPort) {
    Responder holder(loop);
    startBrowsing();
    ASSERT_TRUE(runUntil([&] { return resolutions == 1; }));
    EXPECT_EQ(resolved["p1"], (Endpoints{{asio::ip::address_v4::loopback(), 4000}}));
    discovery->stop();
    discovery->search("_corvane2._tcp", "");
    ASSERT_TRUE(runUntil([&] { return resolutions == 2; }));
    ASSERT_EQ(said.size(), 1U);
    EXPECT_EQ(said.front().rfind("Port 5353 is held by a program that does not share it", 0), 0U)
        << said.front();
}

}  // namespace
}  // namespace corvane::mdns
