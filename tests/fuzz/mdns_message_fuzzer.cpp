// Arbitrary bytes as a multicast DNS message: what parses writes back to the same message,
// and the browser's querier takes it in without growing past its caps.

#include "fuzz/fuzz_check.h"
#include "network/mdns/querier.h"

namespace {

using namespace corvane::mdns;

class NoEvents final : public QuerierEvents {
  public:
    std::vector<Link> links() override { return {{1, false, false}, {2, true, true}}; }
    void send(const Link&, std::span<const std::uint8_t> message) override {
        FUZZ_CHECK(parseMessage(message).has_value());
    }
    void found(const DnsName&) override { ++present; }
    void removed(const DnsName&) override { --present; }
    void resolved(const DnsName&, const std::vector<asio::ip::tcp::endpoint>& endpoints) override {
        FUZZ_CHECK(!endpoints.empty());
    }
    void notResolved(const DnsName&) override {}
    std::size_t present = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (const std::optional<DnsMessage> message = parseMessage(bytes)) {
        FUZZ_CHECK(parseMessage(writeMessage(*message)) == message);
    }

    NoEvents events;
    const TimePoint start{};
    Querier querier(events, DnsName::fromDotted("_corvane2._tcp.local"), start, 1);
    // Heard twice, the second time on another interface, then every instance resolved.
    querier.receive(bytes, Querier::port, 1, start);
    querier.receive(bytes, Querier::port, 2, start + std::chrono::seconds(2));
    querier.cache().forEach([&](const CachedRecord& cached) {
        if (cached.record.type == RecordType::ptr) {
            querier.resolve(std::get<DnsName>(cached.record.data), start + std::chrono::seconds(7),
                            start + std::chrono::seconds(2));
        }
    });
    for (TimePoint now = start; now < start + std::chrono::minutes(10); now = querier.nextWake()) {
        querier.run(now);
        FUZZ_CHECK(querier.nextWake() > now);
    }
    FUZZ_CHECK(querier.cache().size() <= RecordCache::maxRecords);
    FUZZ_CHECK(events.present <= Querier::maxServices);
    return 0;
}
