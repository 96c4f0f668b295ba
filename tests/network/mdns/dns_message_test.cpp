#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "network/mdns/dns_message.h"

namespace corvane::mdns {
namespace {

using Bytes = std::vector<std::uint8_t>;

DnsName name(const char* dotted) {
    return DnsName::fromDotted(dotted);
}

// A response whose answers are a PTR, an SRV, an A and a TXT record, all of one service.
DnsMessage serviceAnswer() {
    DnsMessage message;
    message.flags = DnsMessage::responseFlag | 0x0400;
    const DnsName instance{{"Büro peer. 2", "_corvane2", "_tcp", "local"}};
    message.answers = {
        {name("_corvane2._tcp.local"), RecordType::ptr, classInternet, false, 4500, instance},
        {instance, RecordType::srv, classInternet, true, 120,
         ServiceLocation{0, 0, 4000, name("peer.local")}},
        {name("peer.local"), RecordType::a, classInternet, true, 120,
         asio::ip::make_address_v4("169.254.0.2")},
        {instance, RecordType::txt, classInternet, true, 4500, Bytes{0, 0}},
    };
    return message;
}

// Offsets in the wire form of serviceAnswer(): the first answer's name, the pointer that
// ends the PTR's data (the instance's first label is 13 bytes), the A and TXT types.
constexpr std::uint8_t firstAnswer = 12;
constexpr std::uint8_t ptrData = firstAnswer + 22 + 10;
constexpr std::uint8_t ptrPointer = ptrData + 1 + 13;
constexpr std::uint8_t aType = ptrData + 16 + 2 + 10 + 13 + 2;
constexpr std::uint8_t txtType = aType + 10 + 4 + 2;

Bytes with(Bytes bytes, std::size_t at, Bytes patch) {
    std::ranges::copy(patch, bytes.begin() + static_cast<std::ptrdiff_t>(at));
    return bytes;
}

TEST(DnsMessageTest, WrittenNamesAreCompressedAndReadBackExactly) {
    const DnsMessage message = serviceAnswer();
    const Bytes bytes = writeMessage(message);
    // The type's name is written once; the instance, SRV and TXT owners, the SRV target
    // and the A owner point back to what was written before.
    EXPECT_EQ(bytes.size(), 12U + (22 + 10 + 16) + (2 + 10 + 6 + 7) + (2 + 10 + 4) + (2 + 10 + 2));
    EXPECT_EQ(parseMessage(bytes), message);
}

// Each malformed part is dropped alone or ends the reading, never more: the records read
// before it stay, nothing is read from outside the message.
TEST(DnsMessageTest, MalformedPartsAreDroppedWithoutHarm) {
    const Bytes good = writeMessage(serviceAnswer());
    const std::size_t end = good.size();
    struct Case {
        const char* what;
        Bytes bytes;
        std::size_t answers;  // read; SIZE_MAX: no message at all
    };
    Bytes cut = good;
    cut.resize(end - 3);
    // One question of four labels of 63 bytes: a name of 257 bytes.
    Bytes longName = with(good, 4, {0, 1, 0, 0, 0, 0, 0, 0});
    longName.resize(12);
    for (int label = 0; label < 4; ++label) {
        longName.push_back(63);
        longName.insert(longName.end(), 63, 'x');
    }
    longName.insert(longName.end(), {0, 0, 1, 0, 1});
    const Case cases[] = {
        {"shorter than a header", Bytes(good.begin(), good.begin() + 11), SIZE_MAX},
        {"counts that promise more than there is", with(good, 6, {0, 9}), 4},
        {"the last record cut short", cut, 3},
        {"a name that points to its own start", with(good, ptrPointer, {0xC0, ptrData}), 0},
        {"a pointer forwards, past the end", with(good, firstAnswer, {0xFF, 0xFF}), 0},
        {"a label of the reserved type 0x40", with(good, firstAnswer, {0x41}), 0},
        {"a name over 255 bytes", longName, 0},
        {"an AAAA record of 4 bytes", with(good, aType, {0, RecordType::aaaa}), 3},
        {"an SRV record of 2 bytes", with(good, txtType, {0, RecordType::srv}), 3},
        {"a PTR whose name ends before its data", with(good, txtType, {0, RecordType::ptr}), 3},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        const std::optional<DnsMessage> message = parseMessage(each.bytes);
        ASSERT_EQ(message.has_value(), each.answers != SIZE_MAX);
        if (message) {
            EXPECT_EQ(message->answers.size(), each.answers);
            EXPECT_TRUE(message->questions.empty());
        }
    }
}

}  // namespace
}  // namespace corvane::mdns
