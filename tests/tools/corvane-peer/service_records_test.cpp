// What the peer's responder says: announcements, goodbyes and answers to queries.

#include "service_records.h"

#include <gtest/gtest.h>

namespace corvane::peer {
namespace {

using namespace mdns;

const DnsName type = DnsName::fromDotted("_corvane2._tcp.local");
const DnsName instance{{"My peer", "_corvane2", "_tcp", "local"}};
const DnsName host = DnsName::fromDotted("box-peer-4000.local");
const std::vector<asio::ip::address> addresses{asio::ip::make_address("169.254.1.2"),
                                               asio::ip::make_address("fe80::1")};
const ServiceRecords records(type, instance, host, 4000);

const ResourceRecord ptr{type, RecordType::ptr, classInternet, false, 4500, instance};
const ResourceRecord srv{
    instance, RecordType::srv, classInternet, true, 120, ServiceLocation{0, 0, 4000, host}};
const ResourceRecord txt{
    instance, RecordType::txt, classInternet, true, 4500, std::vector<std::uint8_t>{0}};
const ResourceRecord a{host, RecordType::a, classInternet, true, 120, addresses[0].to_v4()};
const ResourceRecord aaaa{host, RecordType::aaaa, classInternet, true, 120, addresses[1].to_v6()};

DnsMessage query(std::vector<Question> questions, std::vector<ResourceRecord> known = {}) {
    return {7, 0, std::move(questions), std::move(known), {}, {}};
}

TEST(ServiceRecordsTest, AnnouncesEveryRecordAndSaysGoodbyeWithLivesOfZero) {
    const DnsMessage announced = records.announcement(addresses, false);
    EXPECT_EQ(announced.flags, 0x8400);
    EXPECT_EQ(announced.answers, (std::vector{ptr, srv, txt, a, aaaa}));
    for (const ResourceRecord& record : records.announcement(addresses, true).answers) {
        EXPECT_EQ(record.ttl, 0U) << record.type;
    }
}

TEST(ServiceRecordsTest, AnswersWhatIsAskedWithWhatComesNextLessWhatTheQuerierKnows) {
    const Question browse{DnsName::fromDotted("_CORVANE2._tcp.local"), RecordType::ptr};
    const Question locate{instance, RecordType::srv};
    const Question everything{host, 255};

    const auto response = records.answer(query({browse}), addresses, false);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->id, 0);
    EXPECT_TRUE(response->questions.empty());
    EXPECT_EQ(response->answers, std::vector{ptr});
    EXPECT_EQ(response->additionals, (std::vector{srv, txt, a, aaaa}));

    const auto located = records.answer(query({browse, locate}, {ptr}), addresses, false);
    ASSERT_TRUE(located);
    EXPECT_EQ(located->answers, std::vector{srv});
    EXPECT_EQ(located->additionals, (std::vector{a, aaaa}));

    // A known answer with less than half its life left is answered all the same.
    ResourceRecord fading = ptr;
    fading.ttl = 2000;
    EXPECT_EQ(records.answer(query({browse}, {fading}), addresses, false)->answers,
              std::vector{ptr});
    EXPECT_EQ(records.answer(query({everything}), addresses, false)->answers,
              (std::vector{a, aaaa}));

    EXPECT_FALSE(records.answer(query({browse}, {ptr}), addresses, false));
    EXPECT_FALSE(records.answer(
        query({{DnsName::fromDotted("_other._tcp.local"), RecordType::ptr}}), addresses, false));
    DnsMessage heard = query({browse});
    heard.flags = DnsMessage::responseFlag;
    EXPECT_FALSE(records.answer(heard, addresses, false));
}

}  // namespace
}  // namespace corvane::peer
