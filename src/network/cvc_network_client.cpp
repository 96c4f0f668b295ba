#include "network/cvc_network_client.h"

#include <algorithm>
#include <asio/post.hpp>
#include <utility>

#include "network/system_log.h"

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
    if (!options.log) {
        options.log = writeToSystemLog;
    }
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

void CVC_NetworkClient::serviceFound(const std::shared_ptr<DiscoveredService>& service) {
    service->resolve(options_.resolveTimeout);
    handOff([service](CVC_NetworkClient& client) {
        client.servers_.push_back(CVC::Connection{service, nullptr, nullptr});
    });
}

void CVC_NetworkClient::serviceRemoved(const std::shared_ptr<DiscoveredService>& service) {
    handOff([service](CVC_NetworkClient& client) { client.disconnectService(service); });
}

void CVC_NetworkClient::serviceDidNotResolve(const std::shared_ptr<DiscoveredService>& service) {
    handOff([service](CVC_NetworkClient& client) { client.disconnectService(service); });
}

void CVC_NetworkClient::serviceResolved(const std::shared_ptr<DiscoveredService>& service) {
    handOff([service](CVC_NetworkClient& client) { client.openStreams(service); });
}

void CVC_NetworkClient::requestService() {
    browser_->search(serviceType, "");
}

namespace {

// A keep-alive byte not acknowledged within half a period ends its connection: a peer
// gone without a word is noticed at most one and a half periods after it went.
std::chrono::milliseconds unacknowledgedLimit(std::chrono::milliseconds keepAliveInterval) {
    return keepAliveInterval / 2;
}

void closeStreams(CVC::Connection& record) {
    if (record.inputStream) {
        record.inputStream->close();
    }
    if (record.outputStream) {
        record.outputStream->close();
    }
}

}  // namespace

void CVC_NetworkClient::disconnectService(const std::shared_ptr<DiscoveredService>& service) {
    const auto record = std::ranges::find(servers_, service, &CVC::Connection::service);
    if (record == servers_.end()) {
        return;
    }
    closeStreams(*record);
    record->service->stop();
    servers_.erase(record);
    checkConnected();
}

void CVC_NetworkClient::openStreams(const std::shared_ptr<DiscoveredService>& service) {
    // A service is resolved again when its addresses change (renumbered, or an address
    // that came late): a connection to an address it still has stays, so that nothing
    // under way on it is lost; any other is replaced.
    const auto current = std::ranges::find(servers_, service, &CVC::Connection::service);
    if (current != servers_.end() && current->inputStream) {
        const std::optional<asio::ip::tcp::endpoint> remote =
            current->inputStream->remoteEndpoint();
        const std::vector<asio::ip::tcp::endpoint> endpoints = service->endpoints();
        if (remote && std::ranges::find(endpoints, *remote) != endpoints.end()) {
            return;
        }
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
    const std::shared_ptr<PeerStream> stream =
        PeerStream::create(loop_->io, service->endpoints(), std::move(events),
                           unacknowledgedLimit(options_.keepAliveInterval));
    if (!stream) {
        options_.log("Cannot get streams.");
        disconnectService(service);
        return;
    }
    const auto record = std::ranges::find(servers_, service, &CVC::Connection::service);
    if (record != servers_.end()) {
        // The connection it replaces is closed rather than left running unreferenced.
        closeStreams(*record);
        record->inputStream = stream;
        record->outputStream = stream;
        stream->open();
        checkConnected();
    }
    if (!outputTimer_) {
        startKeepAlive();
    }
}

void CVC_NetworkClient::streamEnded(PeerStream& stream) {
    const auto record = std::ranges::find_if(
        servers_, [&stream](const CVC::Connection& r) { return r.inputStream.get() == &stream; });
    if (record != servers_.end()) {
        closeStreams(*record);
        record->service->stop();
        servers_.erase(record);
    }
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
    for (const CVC::Connection& record : servers_) {
        if (record.outputStream) {
            record.outputStream->writeKeepAlive();
        }
    }
    outputTimer_.reset();
    startKeepAlive();
}

void CVC_NetworkClient::stopAll() {
    outputTimer_.reset();
    if (browser_) {
        browser_->stop();
    }
    for (CVC::Connection& record : servers_) {
        closeStreams(record);
        record.service->stop();
    }
    servers_.clear();
}

void CVC_NetworkClient::checkConnected() {
    const bool connected = std::ranges::any_of(servers_, [](const CVC::Connection& record) {
        return record.inputStream && record.outputStream;
    });
    mainQueue_.post([self = shared_from_this(), connected] { self->setConnected(connected); });
}

}  // namespace corvane
