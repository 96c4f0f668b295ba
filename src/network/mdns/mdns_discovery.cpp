#include "network/mdns/mdns_discovery.h"

#include <asio/post.hpp>
#include <iostream>
#include <map>
#include <random>
#include <set>

#include "network/mdns/querier.h"
#include "network/mdns/udp_transport.h"

namespace corvane::mdns {
namespace {

class Search;

// One logical service: an instance name, whatever interfaces and families it is heard on.
class MdnsService final : public DiscoveredService,
                          public std::enable_shared_from_this<MdnsService> {
  public:
    MdnsService(asio::io_context& loop, ServiceDiscoveryListener& listener,
                std::weak_ptr<Search> search, DnsName instance)
        : loop_(loop),
          listener_(listener),
          search_(std::move(search)),
          instance_(std::move(instance)) {}

    std::string name() const override { return instance_.labels.front(); }
    void resolve(std::chrono::milliseconds timeout) override;
    std::vector<asio::ip::tcp::endpoint> endpoints() const override { return endpoints_; }
    void stop() override;

    const DnsName& instance() const { return instance_; }
    void resolved(std::vector<asio::ip::tcp::endpoint> endpoints) {
        outcomeDue_ = false;
        endpoints_ = std::move(endpoints);
        listener_.serviceResolved(shared_from_this());
    }
    void notResolved() {
        outcomeDue_ = false;
        listener_.serviceDidNotResolve(shared_from_this());
    }
    // A resolve that cannot even start, or whose service went before it was found, fails
    // all the same, from the loop, unless it was stopped or asked again meanwhile.
    void failLater() {
        asio::post(loop_, [self = shared_from_this(), asked = asked_] {
            if (self->asked_ == asked && self->outcomeDue_) {
                self->notResolved();
            }
        });
    }
    bool outcomeDue() const { return outcomeDue_; }

  private:
    asio::io_context& loop_;
    ServiceDiscoveryListener& listener_;
    std::weak_ptr<Search> search_;
    const DnsName instance_;
    std::vector<asio::ip::tcp::endpoint> endpoints_;
    // Counts the calls of resolve() and stop().
    unsigned asked_ = 0;
    // A resolve has been asked for and its one outcome not told yet.
    bool outcomeDue_ = false;
};

// One search, from search() to stop(): the transport, the querier and the services found.
class Search final : public QuerierEvents, public std::enable_shared_from_this<Search> {
  public:
    Search(asio::io_context& loop, ServiceDiscoveryListener& listener, WakeTimer& timer,
           DnsName type, std::uint32_t randomStart)
        : loop_(loop),
          listener_(listener),
          timer_(timer),
          querier_(*this, std::move(type), timer.now(), randomStart) {}

    void start(const TransportFactory& makeTransport) {
        transport_ =
            makeTransport([weak = weak_from_this()](std::span<const std::uint8_t> bytes,
                                                    std::uint16_t port, unsigned interface) {
                if (const auto self = weak.lock(); self && !self->closed_) {
                    self->querier_.receive(bytes, port, interface, self->timer_.now());
                    self->rearm();
                }
            });
        rearm();
    }

    // Ends the search at once: nothing more is reported, nothing more sent. The object
    // itself may still be in a call of its own (a listener stopped the discovery from a
    // report), so it is let go of later, from the loop.
    void close() {
        closed_ = true;
        transport_.reset();
        services_.clear();
    }

    void resolve(MdnsService& service, std::chrono::milliseconds timeout) {
        const auto listed = services_.find(service.instance().key());
        if (listed == services_.end() || listed->second.get() != &service) {
            service.failLater();  // removed meanwhile
            return;
        }
        const TimePoint now = timer_.now();
        querier_.resolve(service.instance(), now + timeout, now);
        rearm();
    }

    void stopResolving(const MdnsService& service) {
        const auto listed = services_.find(service.instance().key());
        if (listed != services_.end() && listed->second.get() == &service) {
            querier_.stopResolving(service.instance());
            rearm();
        }
    }

  private:
    void rearm() {
        if (closed_) {
            return;
        }
        timer_.wakeAt(querier_.nextWake(), [weak = weak_from_this()] {
            if (const auto self = weak.lock(); self && !self->closed_) {
                self->querier_.run(self->timer_.now());
                self->rearm();
            }
        });
    }

    std::vector<Link> links() override {
        return transport_ ? transport_->links() : std::vector<Link>{};
    }
    void send(const Link& link, std::span<const std::uint8_t> message) override {
        if (transport_) {
            transport_->send(link, message);
        }
    }
    // Reports: each may come after a listener closed the search in an earlier one.
    void found(const DnsName& instance) override {
        if (closed_) {
            return;
        }
        auto service = std::make_shared<MdnsService>(loop_, listener_, weak_from_this(), instance);
        services_[instance.key()] = service;
        listener_.serviceFound(service);
    }
    void removed(const DnsName& instance) override {
        const auto listed = services_.find(instance.key());
        if (listed != services_.end()) {
            const std::shared_ptr<MdnsService> service = listed->second;
            services_.erase(listed);
            listener_.serviceRemoved(service);
            if (service->outcomeDue()) {
                service->failLater();
            }
        }
    }
    void resolved(const DnsName& instance,
                  const std::vector<asio::ip::tcp::endpoint>& endpoints) override {
        if (const auto listed = services_.find(instance.key()); listed != services_.end()) {
            const std::shared_ptr<MdnsService> service = listed->second;
            service->resolved(endpoints);
        }
    }
    void notResolved(const DnsName& instance) override {
        if (const auto listed = services_.find(instance.key()); listed != services_.end()) {
            const std::shared_ptr<MdnsService> service = listed->second;
            service->notResolved();
        }
    }

    asio::io_context& loop_;
    ServiceDiscoveryListener& listener_;
    WakeTimer& timer_;
    Querier querier_;
    std::unique_ptr<Transport> transport_;
    std::map<std::string, std::shared_ptr<MdnsService>> services_;
    bool closed_ = false;
};

void MdnsService::resolve(std::chrono::milliseconds timeout) {
    ++asked_;
    outcomeDue_ = true;
    if (const auto search = search_.lock()) {
        search->resolve(*this, timeout);
    } else {
        failLater();  // the search this service came from has stopped
    }
}

void MdnsService::stop() {
    ++asked_;
    outcomeDue_ = false;
    if (const auto search = search_.lock()) {
        search->stopResolving(*this);
    }
}

class MdnsDiscovery final : public ServiceDiscovery {
  public:
    MdnsDiscovery(asio::io_context& loop, ServiceDiscoveryListener& listener,
                  TransportFactory transport, std::unique_ptr<WakeTimer> timer,
                  std::uint32_t randomStart)
        : loop_(loop),
          listener_(listener),
          makeTransport_(std::move(transport)),
          timer_(std::move(timer)),
          random_(randomStart) {}

    void search(const std::string& type, const std::string& domain) override {
        // Multicast DNS serves the domain "local." only.
        if (search_ ||
            !(domain.empty() || DnsName::fromDotted(domain).key() == localDomain().key())) {
            return;
        }
        DnsName name = DnsName::fromDotted(type);
        name.labels.push_back("local");
        search_ = std::make_shared<Search>(loop_, listener_, *timer_, std::move(name), random_());
        search_->start(makeTransport_);
    }

    ~MdnsDiscovery() override { stop(); }

    void stop() override {
        if (search_) {
            search_->close();
            asio::post(loop_, [done = std::move(search_)] {});
        }
    }

  private:
    static DnsName localDomain() { return DnsName::fromDotted("local"); }

    asio::io_context& loop_;
    ServiceDiscoveryListener& listener_;
    TransportFactory makeTransport_;
    std::unique_ptr<WakeTimer> timer_;
    std::minstd_rand random_;
    std::shared_ptr<Search> search_;
};

}  // namespace

std::unique_ptr<ServiceDiscovery> makeMdnsDiscovery(asio::io_context& loop,
                                                    ServiceDiscoveryListener& listener,
                                                    TransportFactory transport,
                                                    std::unique_ptr<WakeTimer> timer,
                                                    std::uint32_t randomStart) {
    return std::make_unique<MdnsDiscovery>(loop, listener, std::move(transport), std::move(timer),
                                           randomStart);
}

ServiceDiscoveryFactory mdnsDiscovery(MdnsOptions options) {
    // Each line is said once in the life of the factory, however often browsing starts.
    auto said = std::make_shared<std::set<std::string>>();
    UdpTransportOptions transport{std::move(options.listInterfaces), std::move(options.interfaces),
                                  [said, log = std::move(options.log)](const std::string& line) {
                                      if (!said->insert(line).second) {
                                          return;
                                      }
                                      if (log) {
                                          log(line);
                                      } else {
                                          std::cerr << "corvane-client: " << line << std::endl;
                                      }
                                  }};
    return [transport](asio::io_context& loop, ServiceDiscoveryListener& listener) {
        return makeMdnsDiscovery(
            loop, listener,
            [&loop, transport](PacketSink sink) {
                return makeUdpTransport(loop, transport, std::move(sink));
            },
            makeSteadyWakeTimer(loop), std::random_device{}());
    };
}

}  // namespace corvane::mdns
