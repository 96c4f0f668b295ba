#pragma once

// The DNS message format as multicast DNS uses it: parsing untrusted bytes and writing
// queries, with name compression both ways.

#include <asio/ip/address_v4.hpp>
#include <asio/ip/address_v6.hpp>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "network/mdns/dns_name.h"

namespace corvane::mdns {

namespace RecordType {
constexpr std::uint16_t a = 1;
constexpr std::uint16_t ptr = 12;
constexpr std::uint16_t txt = 16;
constexpr std::uint16_t aaaa = 28;
constexpr std::uint16_t srv = 33;
}  // namespace RecordType

constexpr std::uint16_t classInternet = 1;

struct ServiceLocation {
    std::uint16_t priority = 0;
    std::uint16_t weight = 0;
    std::uint16_t port = 0;
    DnsName target;
    bool operator==(const ServiceLocation&) const = default;
};

// The data of a record: a name (PTR), a location (SRV), an address (A, AAAA), or the
// raw bytes of any other type (TXT among them).
using RecordData = std::variant<std::vector<std::uint8_t>, DnsName, ServiceLocation,
                                asio::ip::address_v4, asio::ip::address_v6>;

struct ResourceRecord {
    DnsName name;
    std::uint16_t type = 0;
    std::uint16_t recordClass = classInternet;
    // The top bit of the class in a response: this record replaces the others of its
    // name and type.
    bool cacheFlush = false;
    std::uint32_t ttl = 0;
    RecordData data;
    bool operator==(const ResourceRecord&) const = default;
};

struct Question {
    DnsName name;
    std::uint16_t type = 0;
    std::uint16_t questionClass = classInternet;
    // The top bit of the class: a unicast answer is asked for.
    bool unicastResponse = false;
    bool operator==(const Question&) const = default;
};

struct DnsMessage {
    static constexpr std::uint16_t responseFlag = 0x8000;

    std::uint16_t id = 0;
    std::uint16_t flags = 0;
    std::vector<Question> questions;
    std::vector<ResourceRecord> answers;
    std::vector<ResourceRecord> authorities;
    std::vector<ResourceRecord> additionals;

    bool isResponse() const { return (flags & responseFlag) != 0; }
    unsigned opcode() const { return (flags >> 11) & 0xFU; }
    unsigned rcode() const { return flags & 0xFU; }
    bool operator==(const DnsMessage&) const = default;
};

// Nothing when `bytes` is shorter than a header. Otherwise every question and record
// that can be read: reading stops at the first one that runs past the end (counts may
// promise more than there is), and a record whose data does not fit its type (an A
// record of 3 bytes, a PTR whose name is cut) is left out alone.
std::optional<DnsMessage> parseMessage(std::span<const std::uint8_t> bytes);

// The message in wire form, names compressed; counts are the sizes of the sections.
std::vector<std::uint8_t> writeMessage(const DnsMessage& message);

}  // namespace corvane::mdns
