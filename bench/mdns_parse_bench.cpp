// Parsing a full multicast DNS message: the largest one (9000 bytes) and one that fills an
// Ethernet frame (1500), packed with answers as a responder sends them (PTR, SRV, TXT, A
// and AAAA of one service after another, names compressed); and the browser's querier
// taking such a message in.

#include <benchmark/benchmark.h>

#include <string>

#include "network/mdns/querier.h"

namespace corvane::mdns {
namespace {

// Whole services' answers, as many as fit in `size` bytes.
std::vector<std::uint8_t> fullMessage(std::size_t size) {
    const DnsName type = DnsName::fromDotted("_corvane2._tcp.local");
    DnsMessage message;
    message.flags = DnsMessage::responseFlag | 0x0400;
    std::vector<std::uint8_t> bytes = writeMessage(message);
    for (int peer = 0;; ++peer) {
        DnsMessage more = message;
        const std::string label = "Peer number " + std::to_string(peer);
        const DnsName instance{{label, "_corvane2", "_tcp", "local"}};
        const DnsName host{{"host-" + std::to_string(peer), "local"}};
        const auto octet = static_cast<std::uint8_t>(peer);
        more.answers.push_back({type, RecordType::ptr, classInternet, false, 4500, instance});
        more.answers.push_back({instance, RecordType::srv, classInternet, true, 120,
                                ServiceLocation{0, 0, 4000, host}});
        more.answers.push_back(
            {instance, RecordType::txt, classInternet, true, 4500, std::vector<std::uint8_t>{0}});
        more.answers.push_back({host, RecordType::a, classInternet, true, 120,
                                asio::ip::address_v4({169, 254, 1, octet})});
        more.answers.push_back(
            {host, RecordType::aaaa, classInternet, true, 120,
             asio::ip::address_v6({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, octet})});
        std::vector<std::uint8_t> larger = writeMessage(more);
        if (larger.size() > size) {
            return bytes;
        }
        message = std::move(more);
        bytes = std::move(larger);
    }
}

void parseFullMessage(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = fullMessage(std::size_t(state.range(0)));
    std::size_t records = 0;
    for (auto _ : state) {
        const std::optional<DnsMessage> message = parseMessage(bytes);
        records = message->answers.size();
        benchmark::DoNotOptimize(message);
    }
    state.counters["bytes"] = double(bytes.size());
    state.counters["records"] = double(records);
    state.SetBytesProcessed(std::int64_t(state.iterations() * bytes.size()));
}
BENCHMARK(parseFullMessage)->Arg(1500)->Arg(9000);

class Quiet final : public QuerierEvents {
  public:
    std::vector<Link> links() override { return {}; }
    void send(const Link&, std::span<const std::uint8_t>) override {}
    void found(const DnsName&) override {}
    void removed(const DnsName&) override {}
    void resolved(const DnsName&, const std::vector<asio::ip::tcp::endpoint>&) override {}
    void notResolved(const DnsName&) override {}
};

// The message heard again by a querier that has every record of it already: the steady
// state of a network with that many peers.
void querierTakesFullMessage(benchmark::State& state) {
    const std::vector<std::uint8_t> bytes = fullMessage(std::size_t(state.range(0)));
    Quiet events;
    Querier querier(events, DnsName::fromDotted("_corvane2._tcp.local"), TimePoint{}, 1);
    querier.receive(bytes, Querier::port, 1, TimePoint{});
    for (auto _ : state) {
        querier.receive(bytes, Querier::port, 1, TimePoint{});
    }
    state.counters["cached"] = double(querier.cache().size());
    state.SetBytesProcessed(std::int64_t(state.iterations() * bytes.size()));
}
BENCHMARK(querierTakesFullMessage)->Arg(1500)->Arg(9000);

}  // namespace
}  // namespace corvane::mdns

BENCHMARK_MAIN();
