// The peer's multicast DNS responder over real sockets on `lo`, in a network of the
// test's own, as the client's browser finds it.

#include "mdns_responder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/ip/multicast.hpp>
#include <asio/ip/udp.hpp>
#include <optional>

#include "network/mdns/dns_message.h"
#include "support/own_network.h"

#ifdef _WIN32
#include <windows.h>

#include <asio/connect.hpp>
#include <asio/read.hpp>
#endif

namespace corvane::peer {
namespace {

using namespace std::chrono_literals;

class MdnsResponderTest : public testing::BrowsingOnLoTest {
  protected:
    std::unique_ptr<MdnsResponder> advertise(const std::string& name) {
        return std::make_unique<MdnsResponder>(
            loop, ResponderOptions{name, "_corvane2._tcp", 4000, testing::listInterfaces, {"lo"}},
            [this](const std::string& line) { said.push_back(line); });
    }
    // What a peer on lo on port `port` resolves to: each of lo's addresses.
    static Endpoints onLo(std::uint16_t port) {
        Endpoints endpoints;
        for (const mdns::NetworkInterface& each :
             mdns::usableInterfaces(testing::listInterfaces(), {"lo"})) {
            for (const mdns::InterfaceAddress& local : each.addresses) {
                endpoints.emplace_back(local.address, port);
            }
        }
        std::ranges::sort(endpoints);
        return endpoints;
    }
};

TEST_F(MdnsResponderTest, FoundByQueryOrByAnnouncementResolvedToItsAddressesAndGoneOnGoodbye) {
    auto answering = advertise("Asked for");
    startBrowsing();
    auto announcing = advertise("Announced");
    EXPECT_EQ(said, (std::vector<std::string>{
                        "ready: advertising \"Asked for\" _corvane2._tcp on port 4000",
                        "ready: advertising \"Announced\" _corvane2._tcp on port 4000"}));
    ASSERT_TRUE(runUntil([&] { return resolved.size() == 2; }));
    EXPECT_EQ(resolved["Asked for"], onLo(4000));
    EXPECT_EQ(resolved["Announced"], onLo(4000));

    // Without a goodbye they would stay for the two minutes of their lives.
    answering.reset();
    ASSERT_TRUE(runUntil([&] { return !removed.empty(); }));
    EXPECT_EQ(removed, std::vector<std::string>{"Asked for"});
    announcing.reset();
    ASSERT_TRUE(runUntil([&] { return removed.size() == 2; }));
}

TEST_F(MdnsResponderTest, AQueryFromAnotherPortIsAnsweredToThatPortAlone) {
    const auto responder = advertise("One shot");
    asio::ip::udp::socket asker(loop, {asio::ip::address_v4::loopback(), 0});
    asker.set_option(asio::ip::multicast::outbound_interface(asio::ip::address_v4::loopback()));
    const mdns::DnsMessage query{
        0x4242, 0,  {{mdns::DnsName::fromDotted("_corvane2._tcp.local"), mdns::RecordType::ptr}},
        {},     {}, {}};
    asker.send_to(asio::buffer(mdns::writeMessage(query)),
                  {asio::ip::make_address("224.0.0.251"), 5353});
    std::array<std::uint8_t, 9000> buffer{};
    std::optional<mdns::DnsMessage> response;
    asker.async_receive(asio::buffer(buffer), [&](std::error_code error, std::size_t size) {
        response = mdns::parseMessage(std::span(buffer).first(error ? 0 : size));
    });
    ASSERT_TRUE(runUntil([&] { return response.has_value(); }));
    EXPECT_EQ(response->id, 0x4242);
    EXPECT_EQ(response->questions, query.questions);
    ASSERT_EQ(response->answers.size(), 1U);
    EXPECT_EQ(std::get<mdns::DnsName>(response->answers.front().data).labels.front(), "One shot");
    EXPECT_EQ(response->additionals.size(), 4U);
    // Lives of 10 s at most and no cache flush, as for any one-shot querier.
    for (const auto* section : {&response->answers, &response->additionals}) {
        for (const mdns::ResourceRecord& record : *section) {
            EXPECT_EQ(record.ttl, 10U) << record.type;
            EXPECT_FALSE(record.cacheFlush) << record.type;
        }
    }
}

#ifdef _WIN32
// corvane-peer.exe as a user runs it: advertised on lo, it is found, and sends its word
// to the client that connects.
TEST_F(MdnsResponderTest, ThePeerProgramIsFoundAndSendsItsWords) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION peer{};
    std::wstring commandLine = L"corvane-peer.exe --interfaces lo \"Program\" 0x10000005";
    ASSERT_TRUE(CreateProcessW(CORVANE_PEER_PATH, commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &peer));
    startBrowsing();
    const bool found = runUntil([&] { return resolved.contains("Program"); });
    std::array<std::uint8_t, 4> word{};
    if (found) {
        asio::ip::tcp::socket client(loop);
        std::error_code error;
        asio::connect(client, resolved["Program"], error);
        asio::read(client, asio::buffer(word), error);
        EXPECT_FALSE(error) << error.message();
    }
    TerminateProcess(peer.hProcess, 0);
    WaitForSingleObject(peer.hProcess, INFINITE);
    CloseHandle(peer.hThread);
    CloseHandle(peer.hProcess);
    ASSERT_TRUE(found);
    EXPECT_EQ(word, (std::array<std::uint8_t, 4>{0x05, 0x00, 0x00, 0x10}));
}
#endif

}  // namespace
}  // namespace corvane::peer
