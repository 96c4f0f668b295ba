#include "network/cvc_network_client.h"

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>
#include <utility>

namespace corvane {

struct CVC_NetworkClient::Loop {
    asio::io_context io;
    // Keeps run() going while the client has nothing to wait for.
    asio::executor_work_guard<asio::io_context::executor_type> idle{io.get_executor()};
};

std::shared_ptr<CVC_NetworkClient> CVC_NetworkClient::create(
    MainQueue& mainQueue, const ServiceDiscoveryFactory& discovery) {
    return create(mainQueue, discovery, Options{});
}

std::shared_ptr<CVC_NetworkClient> CVC_NetworkClient::create(
    MainQueue& mainQueue, const ServiceDiscoveryFactory& discovery, Options options) {
    std::shared_ptr<CVC_NetworkClient> client(new CVC_NetworkClient(mainQueue, std::move(options)));
    client->start(discovery);
    return client;
}

CVC_NetworkClient::CVC_NetworkClient(MainQueue& mainQueue, Options options)
    : mainQueue_(mainQueue), options_(std::move(options)), loop_(std::make_shared<Loop>()) {}

void CVC_NetworkClient::start(const ServiceDiscoveryFactory& discovery) {
    // The discovery is built and the search started before the thread runs, so nothing
    // touches the client thread's state concurrently; hand-offs made meanwhile wait in
    // the loop, which exists already.
    browser_ = discovery(loop_->io, *this);
    requestService();
    thread_ = std::thread([loop = loop_] { loop->io.run(); });
}

CVC_NetworkClient::~CVC_NetworkClient() {
    if (thread_.joinable() && std::this_thread::get_id() == thread_.get_id()) {
        // The last reference went away in a task of the client thread itself: it cannot
        // join itself, so it ends once this task returns.
        tearDown();
        loop_->io.stop();
        thread_.detach();
        return;
    }
    shutDown();
}

void CVC_NetworkClient::shutDown() {
    receiveCommand_ = nullptr;
    if (!thread_.joinable()) {
        tearDown();
        return;
    }
    asio::post(loop_->io, [this] {
        tearDown();
        loop_->io.stop();
    });
    thread_.join();
}

void CVC_NetworkClient::tearDown() {
    stopAll();
    browser_.reset();
}

void CVC_NetworkClient::handOff(std::function<void(CVC_NetworkClient&)> work) {
    // Held weakly until it runs: work still queued when the client shuts down is dropped
    // with the loop, and does not keep the client, and so the loop, alive.
    asio::post(loop_->io, [weak = weak_from_this(), work = std::move(work)] {
        if (const auto self = weak.lock()) {
            work(*self);
        }
    });
}

void CVC_NetworkClient::setRunning(bool running, std::function<void()> then) {
    const bool change = running != running_;
    if (!change && !then) {
        return;
    }
    running_ = running;
    // Even without a change, `then` waits for the client thread: an earlier switch may
    // still be under way there.
    handOff([running, change, then = std::move(then)](CVC_NetworkClient& client) {
        if (change && running) {
            client.requestService();
        } else if (change) {
            client.stopAll();
            client.checkConnected();
        }
        if (then) {
            client.mainQueue_.post(then);
        }
    });
}

ObservationToken CVC_NetworkClient::observeConnected(std::function<void()> observer) {
    return connectedObservers_.add(std::move(observer));
}

void CVC_NetworkClient::setReceiveCommand(ReceiveCommand handler) {
    receiveCommand_ = std::move(handler);
}

void CVC_NetworkClient::setConnected(bool connected) {
    if (connected == connected_) {
        return;
    }
    connected_ = connected;
    connectedObservers_.notify();
}

CVC_NetworkClient::Record CVC_NetworkClient::find(const DiscoveredService& service) {
    return std::ranges::find_if(servers_, [&service](const CVC::Connection& peer) {
        return peer.service.get() == &service;
    });
}

void CVC_NetworkClient::requestService() {
    searching_ = true;
    browser_->search(serviceType, "");
}

// The record is added in the same step as its resolve starts: a switch-off handed over
// meanwhile comes before both or after both, and a report that comes after the switch-off
// (or again for a listed service) changes nothing.
void CVC_NetworkClient::serviceFound(const std::shared_ptr<DiscoveredService>& service) {
    if (!searching_ || find(*service) != servers_.end()) {
        return;
    }
    servers_.push_back(CVC::Connection{.service = service,
                                       .backoff = {options_.retryFirst, options_.retryLongest}});
    resolve(servers_.back());
}

void CVC_NetworkClient::serviceRemoved(const std::shared_ptr<DiscoveredService>& service) {
    if (const Record peer = find(*service); peer != servers_.end()) {
        disconnect(peer);
    }
}

void CVC_NetworkClient::serviceDidNotResolve(const std::shared_ptr<DiscoveredService>& service) {
    if (const Record peer = find(*service);
        peer != servers_.end() && peer->state == CVC::Connection::State::resolving) {
        retryLater(*peer);
    }
}

void CVC_NetworkClient::serviceResolved(const std::shared_ptr<DiscoveredService>& service) {
    const Record found = find(*service);
    if (found == servers_.end()) {
        return;
    }
    CVC::Connection& peer = *found;
    const std::vector<asio::ip::tcp::endpoint> endpoints = service->endpoints();
    switch (peer.state) {
        case CVC::Connection::State::open:
            // A working connection stays while its address is listed: a new address alone
            // never replaces it.
            if (std::ranges::find(endpoints, peer.stream->remoteEndpoint()) != endpoints.end()) {
                return;
            }
            connect(peer);
            checkConnected();
            return;
        case CVC::Connection::State::connecting:
            peer.connector->add(endpoints);
            return;
        case CVC::Connection::State::resolving:
        case CVC::Connection::State::waiting:
            connect(peer);
            return;
    }
}

void CVC_NetworkClient::resolve(CVC::Connection& peer) {
    peer.state = CVC::Connection::State::resolving;
    peer.service->resolve(options_.resolveTimeout);
}

void CVC_NetworkClient::connect(CVC::Connection& peer) {
    close(peer);
    const std::vector<asio::ip::tcp::endpoint> endpoints = peer.service->endpoints();
    if (endpoints.empty()) {
        cannotGetStreams(peer);
        retryLater(peer);
        return;
    }
    peer.state = CVC::Connection::State::connecting;
    peer.connector =
        PeerConnector::start(loop_->io, endpoints,
                             [weak = weak_from_this(), service = std::weak_ptr(peer.service)](
                                 PeerConnector::Outcome outcome) {
                                 const auto client = weak.lock();
                                 const auto known = service.lock();
                                 if (client && known) {
                                     client->connectorDone(*known, std::move(outcome));
                                 }
                             });
}

namespace {

// A keep-alive byte not acknowledged within half a period ends its connection: a peer
// gone without a word is noticed at most one and a half periods after it went.
std::chrono::milliseconds unacknowledgedLimit(std::chrono::milliseconds keepAliveInterval) {
    return keepAliveInterval / 2;
}

}  // namespace

void CVC_NetworkClient::connectorDone(const DiscoveredService& service,
                                      PeerConnector::Outcome outcome) {
    const Record found = find(service);
    if (found == servers_.end() || found->state != CVC::Connection::State::connecting) {
        return;
    }
    CVC::Connection& peer = *found;
    peer.connector.reset();
    if (!outcome.socket) {
        if (outcome.outOfResources) {
            cannotGetStreams(peer);
        }
        retryLater(peer);
        return;
    }
    const std::weak_ptr<CVC_NetworkClient> weak = weak_from_this();
    PeerStream::Events events{[weak](PeerStream& stream, std::vector<std::uint32_t> words) {
                                  if (const auto client = weak.lock()) {
                                      client->deliver(stream, std::move(words));
                                  }
                              },
                              [weak](PeerStream& stream) {
                                  if (const auto client = weak.lock()) {
                                      client->streamEnded(stream);
                                  }
                              }};
    peer.stream = PeerStream::start(std::move(*outcome.socket), outcome.remote, std::move(events),
                                    unacknowledgedLimit(options_.keepAliveInterval));
    peer.state = CVC::Connection::State::open;
    peer.backoff.reset();
    peer.complained = false;
    checkConnected();
    if (!outputTimer_) {
        startKeepAlive();
    }
}

void CVC_NetworkClient::streamEnded(PeerStream& stream) {
    const Record peer = std::ranges::find_if(
        servers_, [&stream](const CVC::Connection& p) { return p.stream.get() == &stream; });
    if (peer != servers_.end()) {
        retryLater(*peer);
        checkConnected();
    }
}

void CVC_NetworkClient::retryLater(CVC::Connection& peer) {
    close(peer);
    peer.state = CVC::Connection::State::waiting;
    peer.retry = std::make_shared<asio::steady_timer>(loop_->io, peer.backoff.next());
    peer.retry->async_wait([weak = weak_from_this(), service = std::weak_ptr(peer.service),
                            timer = std::weak_ptr(peer.retry)](const std::error_code& error) {
        const auto client = weak.lock();
        const auto known = service.lock();
        if (error || !client || !known) {
            return;
        }
        const Record found = client->find(*known);
        if (found != client->servers_.end() && found->retry == timer.lock()) {
            found->retry.reset();
            client->resolve(*found);
        }
    });
}

void CVC_NetworkClient::cannotGetStreams(CVC::Connection& peer) {
    if (!peer.complained && options_.log) {
        options_.log("Cannot get streams.");
    }
    peer.complained = true;
}

// Ends whatever is under way for the peer: its connection, its attempts, its wait.
void CVC_NetworkClient::close(CVC::Connection& peer) {
    if (const auto stream = std::exchange(peer.stream, nullptr)) {
        stream->close();
    }
    if (const auto connector = std::exchange(peer.connector, nullptr)) {
        connector->cancel();
    }
    if (const auto retry = std::exchange(peer.retry, nullptr)) {
        retry->cancel();
    }
}

// The one way a peer goes, on its removal, the switch-off and the end: everything under way
// for it ends, its service's resolve or watch too.
void CVC_NetworkClient::release(CVC::Connection& peer) {
    close(peer);
    peer.service->stop();
}

void CVC_NetworkClient::disconnect(Record peer) {
    release(*peer);
    servers_.erase(peer);
    checkConnected();
}

void CVC_NetworkClient::deliver(PeerStream& stream, std::vector<std::uint32_t> words) {
    // One main-queue task per read keeps the words in order and calls the handler once
    // per word, looked up when the word is handed over. The words of a read share one
    // receipt: once the handler has let go of every copy, the stream is told, and reads
    // on if it was held back.
    mainQueue_.post(
        [self = shared_from_this(), stream = stream.weak_from_this(), words = std::move(words)] {
            const WordReceipt receipt(nullptr,
                                      [loop = self->loop_, stream, count = words.size()](void*) {
                                          asio::post(loop->io, [stream, count] {
                                              if (const auto peer = stream.lock()) {
                                                  peer->wordsDelivered(count);
                                              }
                                          });
                                      });
            for (const std::uint32_t word : words) {
                if (self->receiveCommand_) {
                    const ReceiveCommand handler = self->receiveCommand_;
                    handler(word, receipt);
                }
            }
        });
}

void CVC_NetworkClient::startKeepAlive() {
    outputTimer_.emplace(loop_->io);
    outputTimer_->expires_after(options_.keepAliveInterval);
    outputTimer_->async_wait([weak = weak_from_this()](const std::error_code& error) {
        const auto client = weak.lock();
        // A tick that was already due when its timer was replaced finds a later expiry.
        if (error || !client || !client->outputTimer_ ||
            client->outputTimer_->expiry() > asio::steady_timer::clock_type::now()) {
            return;
        }
        client->keepAliveTick();
    });
}

void CVC_NetworkClient::keepAliveTick() {
    for (const CVC::Connection& peer : servers_) {
        if (peer.stream) {
            peer.stream->writeKeepAlive();
        }
    }
    outputTimer_.reset();
    startKeepAlive();
}

void CVC_NetworkClient::stopAll() {
    outputTimer_.reset();
    searching_ = false;
    if (browser_) {
        browser_->stop();
    }
    for (CVC::Connection& peer : servers_) {
        release(peer);
    }
    servers_.clear();
}

void CVC_NetworkClient::checkConnected() {
    const bool connected = std::ranges::any_of(servers_, [](const CVC::Connection& peer) {
        return peer.state == CVC::Connection::State::open;
    });
    // Reports that reach the client while its last reference is being dropped publish nothing.
    if (auto self = weak_from_this().lock()) {
        mainQueue_.post([self = std::move(self), connected] { self->setConnected(connected); });
    }
}

}  // namespace corvane
