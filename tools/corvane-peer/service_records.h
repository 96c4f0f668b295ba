#pragma once

// The multicast DNS records of one service instance, and what a responder says with them:
// announcements, goodbyes and answers to queries. No input or output of its own.

#include <asio/ip/address.hpp>
#include <cstdint>
#include <optional>
#include <vector>

#include "network/mdns/dns_message.h"

namespace corvane::peer {

class ServiceRecords {
  public:
    // Lives: two minutes for what names the host (SRV, addresses), 75 minutes for the rest.
    static constexpr std::uint32_t hostTtl = 120;
    static constexpr std::uint32_t otherTtl = 4500;
    // The most a one-shot querier is told to keep a record.
    static constexpr std::uint32_t oneShotTtl = 10;

    // The instance `instance`.`type` ("_corvane2._tcp.local") on `port` of `host`.
    ServiceRecords(mdns::DnsName type, mdns::DnsName instance, mdns::DnsName host,
                   std::uint16_t port);

    // Every record, with the host's `addresses`; lives of 0 for a goodbye.
    mdns::DnsMessage announcement(const std::vector<asio::ip::address>& addresses,
                                  bool goodbye) const;

    // The response to `query`: the records it asks for, less those it says it knows
    // already, and those a querier needs next (the location and addresses behind a PTR,
    // the addresses behind an SRV) as additional records. Nothing when nothing is left to
    // say. `oneShot`: the query came from a port other than 5353, and the response goes
    // back to it alone, with the query's id and questions and short lives.
    std::optional<mdns::DnsMessage> answer(const mdns::DnsMessage& query,
                                           const std::vector<asio::ip::address>& addresses,
                                           bool oneShot) const;

  private:
    std::vector<mdns::ResourceRecord> records(
        const std::vector<asio::ip::address>& addresses) const;

    mdns::DnsName type_;
    mdns::DnsName instance_;
    mdns::DnsName host_;
    std::uint16_t port_;
};

}  // namespace corvane::peer
