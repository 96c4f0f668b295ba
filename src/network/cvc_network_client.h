#pragma once

// Finds every peer advertising "_corvane2._tcp", keeps one TCP connection to each and
// hands every command word they send to receiveCommand on the main thread, in order.
// A peer whose connection ends while discovery still lists it is tried again, with
// growing waits, until it is connected or no longer listed.
// The connection list lives on the client's own thread, which runs an Asio loop; work
// reaches that thread only as tasks posted to the loop, and results leave it only as
// tasks on the main queue.

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "network/backoff.h"
#include "network/main_queue.h"
#include "network/network_client.h"
#include "network/observation.h"
#include "network/peer_connector.h"
#include "network/peer_stream.h"
#include "network/service_discovery.h"

namespace corvane {

namespace CVC {

// One discovered peer, from the report that found it until the one that removed it (or
// the switch-off): its service, what is being done to reach it, and its stream once
// connected. The stream is the one TCP connection to the peer, read as its input and
// written to (keep-alives) as its output.
struct Connection {
    enum class State {
        resolving,   // the service is being resolved
        connecting,  // `connector` tries its addresses
        open,        // `stream` is connected
        waiting,     // `retry` runs out before the next resolve
    };
    std::shared_ptr<DiscoveredService> service;
    State state = State::resolving;
    std::shared_ptr<PeerConnector> connector = nullptr;
    std::shared_ptr<PeerStream> stream = nullptr;
    std::shared_ptr<asio::steady_timer> retry = nullptr;
    Backoff backoff;
    // Whether "Cannot get streams." was said since the peer was last connected.
    bool complained = false;
};

}  // namespace CVC

class CVC_NetworkClient final : public NetworkClient,
                                public std::enable_shared_from_this<CVC_NetworkClient>,
                                private ServiceDiscoveryListener {
  public:
    struct Options {
        // One 0x00 byte to every peer each period; tests shorten it.
        std::chrono::milliseconds keepAliveInterval = std::chrono::seconds(60);
        std::chrono::milliseconds resolveTimeout = std::chrono::seconds(5);
        // Where the client's one message goes ("Cannot get streams."); nowhere when empty.
        std::function<void(const std::string&)> log = nullptr;
        // The wait before trying a listed peer again, doubled after every failure up to
        // the longest; a connection starts it over.
        std::chrono::milliseconds retryFirst = std::chrono::seconds(1);
        std::chrono::milliseconds retryLongest = std::chrono::seconds(30);
    };

    static constexpr const char* serviceType = "_corvane2._tcp";

    // Starts the client thread and discovery at once; running() is true, connected() false.
    // `mainQueue` must outlive the client.
    static std::shared_ptr<CVC_NetworkClient> create(MainQueue& mainQueue,
                                                     const ServiceDiscoveryFactory& discovery,
                                                     Options options);
    static std::shared_ptr<CVC_NetworkClient> create(MainQueue& mainQueue,
                                                     const ServiceDiscoveryFactory& discovery);

    // Tears the connections down on the client thread and ends it (see shutDown); when
    // the last reference goes on the client thread itself, the thread ends on its own.
    ~CVC_NetworkClient() override;
    CVC_NetworkClient(const CVC_NetworkClient&) = delete;
    CVC_NetworkClient& operator=(const CVC_NetworkClient&) = delete;

    // Main thread: false closes every connection and stops browsing; true browses again.
    using NetworkClient::setRunning;
    void setRunning(bool running, std::function<void()> then) override;
    // Main thread: the connections are closed and the client thread has ended on return.
    void shutDown() override;
    bool running() const override { return running_; }
    // Main thread: whether some peer is connected.
    bool connected() const override { return connected_; }
    // Observers are called on the main thread, only when connected() changes.
    ObservationToken observeConnected(std::function<void()> observer) override;
    // Main thread: the handler of every command word; words arriving while none is set
    // are dropped.
    void setReceiveCommand(ReceiveCommand handler) override;

  private:
    struct Loop;
    using Record = std::vector<CVC::Connection>::iterator;
    CVC_NetworkClient(MainQueue& mainQueue, Options options);
    void start(const ServiceDiscoveryFactory& discovery);

    // Client thread, from the discovery.
    void serviceFound(const std::shared_ptr<DiscoveredService>& service) override;
    void serviceRemoved(const std::shared_ptr<DiscoveredService>& service) override;
    void serviceResolved(const std::shared_ptr<DiscoveredService>& service) override;
    void serviceDidNotResolve(const std::shared_ptr<DiscoveredService>& service) override;

    // Runs `work` on the client thread, if the client still exists then.
    void handOff(std::function<void(CVC_NetworkClient&)> work);

    // Client thread.
    Record find(const DiscoveredService& service);
    void requestService();
    void resolve(CVC::Connection& peer);
    void connect(CVC::Connection& peer);
    void connectorDone(const DiscoveredService& service, PeerConnector::Outcome outcome);
    void streamEnded(PeerStream& stream);
    void retryLater(CVC::Connection& peer);
    void cannotGetStreams(CVC::Connection& peer);
    void close(CVC::Connection& peer);
    void release(CVC::Connection& peer);
    void disconnect(Record peer);
    void deliver(PeerStream& stream, std::vector<std::uint32_t> words);
    void startKeepAlive();
    void keepAliveTick();
    void stopAll();
    void checkConnected();
    void tearDown();

    // Main thread.
    void setConnected(bool connected);

    MainQueue& mainQueue_;
    const Options options_;
    std::shared_ptr<Loop> loop_;
    std::thread thread_;

    // Client thread.
    std::unique_ptr<ServiceDiscovery> browser_;
    bool searching_ = false;
    std::vector<CVC::Connection> servers_;
    std::optional<asio::steady_timer> outputTimer_;

    // Main thread.
    bool running_ = true;
    bool connected_ = false;
    ReceiveCommand receiveCommand_;
    ObserverList<> connectedObservers_;
};

}  // namespace corvane
