#include "service_records.h"

#include <algorithm>

namespace corvane::peer {
namespace {

using mdns::DnsMessage;
using mdns::ResourceRecord;
namespace RecordType = mdns::RecordType;

constexpr std::uint16_t anyType = 255;
constexpr std::uint16_t anyClass = 255;
constexpr std::uint16_t authoritative = 0x0400;

bool asks(const mdns::Question& question, const ResourceRecord& record) {
    return question.name.key() == record.name.key() &&
           (question.type == record.type || question.type == anyType) &&
           (question.questionClass == mdns::classInternet || question.questionClass == anyClass);
}

// Known-answer suppression: the querier holds the record with at least half its life.
bool known(const DnsMessage& query, const ResourceRecord& record) {
    return std::ranges::any_of(query.answers, [&record](const ResourceRecord& knownAnswer) {
        return knownAnswer.name.key() == record.name.key() && knownAnswer.type == record.type &&
               knownAnswer.data == record.data && knownAnswer.ttl >= record.ttl / 2;
    });
}

bool contains(const std::vector<ResourceRecord>& records, const ResourceRecord& record) {
    return std::ranges::find(records, record) != records.end();
}

}  // namespace

ServiceRecords::ServiceRecords(mdns::DnsName type, mdns::DnsName instance, mdns::DnsName host,
                               std::uint16_t port)
    : type_(std::move(type)), instance_(std::move(instance)), host_(std::move(host)), port_(port) {}

std::vector<ResourceRecord> ServiceRecords::records(
    const std::vector<asio::ip::address>& addresses) const {
    // An empty TXT record is a single empty string.
    std::vector<ResourceRecord> records{
        {type_, RecordType::ptr, mdns::classInternet, false, otherTtl, instance_},
        {instance_, RecordType::srv, mdns::classInternet, true, hostTtl,
         mdns::ServiceLocation{0, 0, port_, host_}},
        {instance_, RecordType::txt, mdns::classInternet, true, otherTtl,
         std::vector<std::uint8_t>{0}},
    };
    for (const asio::ip::address& address : addresses) {
        if (address.is_v4()) {
            records.push_back(
                {host_, RecordType::a, mdns::classInternet, true, hostTtl, address.to_v4()});
        } else {
            records.push_back(
                {host_, RecordType::aaaa, mdns::classInternet, true, hostTtl, address.to_v6()});
        }
    }
    return records;
}

DnsMessage ServiceRecords::announcement(const std::vector<asio::ip::address>& addresses,
                                        bool goodbye) const {
    DnsMessage message{0, DnsMessage::responseFlag | authoritative, {}, records(addresses), {}, {}};
    for (ResourceRecord& record : message.answers) {
        record.ttl = goodbye ? 0 : record.ttl;
    }
    return message;
}

std::optional<DnsMessage> ServiceRecords::answer(const DnsMessage& query,
                                                 const std::vector<asio::ip::address>& addresses,
                                                 bool oneShot) const {
    if (query.isResponse() || query.opcode() != 0) {
        return std::nullopt;
    }
    const std::vector<ResourceRecord> all = records(addresses);
    DnsMessage response{0, DnsMessage::responseFlag | authoritative, {}, {}, {}, {}};
    for (const ResourceRecord& record : all) {
        const bool asked = std::ranges::any_of(
            query.questions, [&record](const mdns::Question& q) { return asks(q, record); });
        if (asked && !known(query, record)) {
            response.answers.push_back(record);
        }
    }
    if (response.answers.empty()) {
        return std::nullopt;
    }
    const auto answered = [&response](std::uint16_t type) {
        return std::ranges::any_of(response.answers,
                                   [type](const ResourceRecord& r) { return r.type == type; });
    };
    for (const ResourceRecord& record : all) {
        const bool needed = (answered(RecordType::ptr) && record.type != RecordType::ptr) ||
                            (answered(RecordType::srv) &&
                             (record.type == RecordType::a || record.type == RecordType::aaaa));
        if (needed && !contains(response.answers, record)) {
            response.additionals.push_back(record);
        }
    }
    if (oneShot) {
        response.id = query.id;
        response.questions = query.questions;
        for (auto* section : {&response.answers, &response.additionals}) {
            for (ResourceRecord& record : *section) {
                record.ttl = std::min(record.ttl, oneShotTtl);
                record.cacheFlush = false;
            }
        }
    }
    return response;
}

}  // namespace corvane::peer
