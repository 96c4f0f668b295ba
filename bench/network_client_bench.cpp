// The command stream on loopback, without Avahi: a discovery that resolves at once to a
// local listener, a peer writing words from its own thread, and a no-op handler on an
// Asio main queue run by the benchmark thread. Throughput, the latency from the peer's
// write to the handler call, and the memory a long flood costs.

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "network/asio_main_queue.h"
#include "network/cvc_network_client.h"

namespace corvane {
namespace {

using Clock = std::chrono::steady_clock;

// One service that resolves to `endpoint` as soon as it is searched for.
class LocalService final : public DiscoveredService,
                           public std::enable_shared_from_this<LocalService> {
  public:
    LocalService(asio::io_context& loop, ServiceDiscoveryListener& listener,
                 asio::ip::tcp::endpoint endpoint)
        : loop_(loop), listener_(listener), endpoint_(endpoint) {}
    std::string name() const override { return "bench"; }
    void resolve(std::chrono::milliseconds) override {
        asio::post(loop_, [self = shared_from_this()] { self->listener_.serviceResolved(self); });
    }
    std::vector<asio::ip::tcp::endpoint> endpoints() const override { return {endpoint_}; }
    void stop() override {}

  private:
    asio::io_context& loop_;
    ServiceDiscoveryListener& listener_;
    asio::ip::tcp::endpoint endpoint_;
};

class LocalDiscovery final : public ServiceDiscovery {
  public:
    LocalDiscovery(std::shared_ptr<LocalService> service, ServiceDiscoveryListener& listener)
        : service_(std::move(service)), listener_(listener) {}
    void search(const std::string&, const std::string&) override {
        listener_.serviceFound(service_);
    }
    void stop() override {}

  private:
    std::shared_ptr<LocalService> service_;
    ServiceDiscoveryListener& listener_;
};

// A client connected to a local peer socket; the calling thread is the main thread.
class Stream {
  public:
    Stream() {
        acceptor_.listen();
        const asio::ip::tcp::endpoint endpoint = acceptor_.local_endpoint();
        client_ = CVC_NetworkClient::create(
            mainQueue_, [endpoint](asio::io_context& loop, ServiceDiscoveryListener& listener) {
                return std::make_unique<LocalDiscovery>(
                    std::make_shared<LocalService>(loop, listener, endpoint), listener);
            });
        client_->setReceiveCommand([this](std::uint32_t, WordReceipt) { ++received_; });
        peer_ = acceptor_.accept();
        peer_.set_option(asio::ip::tcp::no_delay(true));
    }
    ~Stream() {
        client_.reset();
        mainLoop_.poll();
    }

    asio::ip::tcp::socket& peer() { return peer_; }
    std::uint64_t received() const { return received_; }
    void runUntilReceived(std::uint64_t count) {
        while (received_ < count) {
            mainLoop_.run_one();
        }
    }

  private:
    asio::io_context mainLoop_;
    asio::executor_work_guard<asio::io_context::executor_type> idle_{mainLoop_.get_executor()};
    AsioMainQueue mainQueue_{mainLoop_};
    asio::io_context peerLoop_;
    asio::ip::tcp::acceptor acceptor_{peerLoop_,
                                      asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0)};
    asio::ip::tcp::socket peer_{peerLoop_};
    std::shared_ptr<CVC_NetworkClient> client_;
    std::uint64_t received_ = 0;
};

std::vector<std::uint8_t> wordBytes(std::size_t count) {
    return std::vector<std::uint8_t>(count * 4, 0x5A);
}

void wordsPerSecond(benchmark::State& state) {
    constexpr std::size_t batch = 1'000'000;
    Stream stream;
    const std::vector<std::uint8_t> bytes = wordBytes(batch);
    for (auto _ : state) {
        const std::uint64_t target = stream.received() + batch;
        std::thread writer([&] { asio::write(stream.peer(), asio::buffer(bytes)); });
        stream.runUntilReceived(target);
        writer.join();
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * batch));
}
BENCHMARK(wordsPerSecond)->Unit(benchmark::kMillisecond)->UseRealTime();

void latencyWriteToHandler(benchmark::State& state) {
    Stream stream;
    const std::vector<std::uint8_t> word = wordBytes(1);
    std::vector<double> micros;
    for (auto _ : state) {
        const auto start = Clock::now();
        asio::write(stream.peer(), asio::buffer(word));
        stream.runUntilReceived(stream.received() + 1);
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}
BENCHMARK(latencyWriteToHandler)->Iterations(20000)->UseRealTime();

long peakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void floodMemory(benchmark::State& state) {
    constexpr std::size_t total = 10'000'000;
    for (auto _ : state) {
        Stream stream;
        const std::vector<std::uint8_t> chunk = wordBytes(100'000);
        const long before = peakRssKiB();
        std::thread writer([&] {
            for (std::size_t sent = 0; sent < total; sent += 100'000) {
                asio::write(stream.peer(), asio::buffer(chunk));
            }
        });
        stream.runUntilReceived(total);
        writer.join();
        state.counters["peak_rss_growth_KiB"] = static_cast<double>(peakRssKiB() - before);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * total));
}
BENCHMARK(floodMemory)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvane

BENCHMARK_MAIN();
