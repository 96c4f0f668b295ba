#include "network/peer_stream.h"

#include <algorithm>
#include <asio/buffer.hpp>
#include <asio/write.hpp>
#include <span>
#include <system_error>
#include <utility>

namespace corvane {
namespace {

// IPv6 first, then the families in turn, each in the order given: a family that fails
// quietly on the way costs one stagger, not the whole deadline.
std::vector<asio::ip::tcp::endpoint> alternateFamilies(
    const std::vector<asio::ip::tcp::endpoint>& endpoints) {
    std::vector<asio::ip::tcp::endpoint> v6;
    std::vector<asio::ip::tcp::endpoint> v4;
    for (const asio::ip::tcp::endpoint& endpoint : endpoints) {
        (endpoint.address().is_v6() ? v6 : v4).push_back(endpoint);
    }
    std::vector<asio::ip::tcp::endpoint> order;
    for (std::size_t i = 0; i < std::max(v6.size(), v4.size()); ++i) {
        for (const auto* family : {&v6, &v4}) {
            if (i < family->size()) {
                order.push_back((*family)[i]);
            }
        }
    }
    return order;
}

}  // namespace

struct PeerStream::Attempt {
    explicit Attempt(asio::io_context& loop) : socket(loop), deadline(loop) {}
    asio::ip::tcp::socket socket;
    asio::steady_timer deadline;
};

std::shared_ptr<PeerStream> PeerStream::create(asio::io_context& loop,
                                               std::vector<asio::ip::tcp::endpoint> endpoints,
                                               Events events,
                                               std::chrono::milliseconds unacknowledgedLimit) {
    if (endpoints.empty()) {
        return nullptr;
    }
    return std::make_shared<PeerStream>(loop, std::move(endpoints), std::move(events),
                                        unacknowledgedLimit);
}

PeerStream::PeerStream(asio::io_context& loop, std::vector<asio::ip::tcp::endpoint> endpoints,
                       Events events, std::chrono::milliseconds unacknowledgedLimit)
    : loop_(loop),
      endpoints_(alternateFamilies(endpoints)),
      unacknowledgedLimit_(unacknowledgedLimit),
      events_(std::move(events)),
      stagger_(loop),
      socket_(loop) {}

void PeerStream::open() {
    startAttempt();
}

void PeerStream::startAttempt() {
    if (closed_ || connected_) {
        return;
    }
    if (nextEndpoint_ == endpoints_.size()) {
        if (attempts_.empty()) {
            finish();
        }
        return;
    }
    const asio::ip::tcp::endpoint target = endpoints_[nextEndpoint_++];
    const auto attempt = std::make_shared<Attempt>(loop_);
    std::error_code error;
    attempt->socket.open(target.protocol(), error);
    if (error) {
        // This host has no such family: the next address, at once.
        startAttempt();
        return;
    }
    attempts_.push_back(attempt);
    attempt->deadline.expires_after(attemptDeadline);
    // Closing the socket ends the connect with an error.
    attempt->deadline.async_wait([weak = std::weak_ptr(attempt)](const std::error_code& e) {
        if (const auto late = weak.lock(); late && !e) {
            std::error_code ignored;
            late->socket.close(ignored);
        }
    });
    attempt->socket.async_connect(
        target, [self = shared_from_this(), attempt, target](const std::error_code& e) {
            self->attemptEnded(attempt, target, e);
        });
    if (nextEndpoint_ < endpoints_.size()) {
        stagger_.expires_after(attemptStagger);
        stagger_.async_wait([self = shared_from_this()](const std::error_code& e) {
            if (!e) {
                self->startAttempt();
            }
        });
    }
}

void PeerStream::attemptEnded(const std::shared_ptr<Attempt>& attempt,
                              const asio::ip::tcp::endpoint& target, const std::error_code& error) {
    const auto found = std::ranges::find(attempts_, attempt);
    if (found == attempts_.end()) {
        return;  // cancelled: another attempt won, or the stream was closed
    }
    attempts_.erase(found);
    attempt->deadline.cancel();
    // A deadline that closed the socket just as it connected counts as failed.
    if (error || !attempt->socket.is_open()) {
        stagger_.cancel();
        startAttempt();
        return;
    }
    socket_ = std::move(attempt->socket);
    connectedTo_ = target;
    endAttempts();
#ifdef TCP_USER_TIMEOUT
    // Asio's socket headers bring the system's; where the option is missing (Windows), the
    // system's own retransmission limit ends a dead connection.
    using UserTimeout = asio::detail::socket_option::integer<IPPROTO_TCP, TCP_USER_TIMEOUT>;
    std::error_code ignored;
    socket_.set_option(UserTimeout(static_cast<int>(unacknowledgedLimit_.count())), ignored);
#endif
    connected_ = true;
    readMore();
}

void PeerStream::endAttempts() {
    stagger_.cancel();
    for (const std::shared_ptr<Attempt>& attempt : std::exchange(attempts_, {})) {
        std::error_code ignored;
        attempt->deadline.cancel();
        attempt->socket.close(ignored);
    }
}

void PeerStream::close() {
    closed_ = true;
    endAttempts();
    std::error_code ignored;
    socket_.close(ignored);
}

void PeerStream::readMore() {
    const std::size_t wordsPerRead = readSize / 4;
    if (closed_ || reading_ || undelivered_ + wordsPerRead > maxUndeliveredWords) {
        return;
    }
    reading_ = true;
    socket_.async_read_some(
        asio::buffer(readBuffer_),
        [self = shared_from_this()](const std::error_code& error, std::size_t count) {
            self->reading_ = false;
            if (self->closed_) {
                return;
            }
            std::vector<std::uint32_t> words;
            self->assembler_.append(std::span(self->readBuffer_.data(), count), words);
            if (!words.empty()) {
                self->undelivered_ += words.size();
                self->events_.wordsRead(*self, std::move(words));
            }
            if (error || count == 0) {
                self->finish();
                return;
            }
            self->readMore();
        });
}

void PeerStream::wordsDelivered(std::size_t count) {
    undelivered_ -= std::min(count, undelivered_);
    if (connected_) {
        readMore();
    }
}

void PeerStream::writeKeepAlive() {
    static constexpr std::uint8_t zero = 0;
    if (closed_ || !connected_ || writing_) {
        return;
    }
    writing_ = true;
    asio::async_write(socket_, asio::buffer(&zero, 1),
                      [self = shared_from_this()](const std::error_code&, std::size_t) {
                          self->writing_ = false;
                      });
}

void PeerStream::finish() {
    if (closed_) {
        return;
    }
    close();
    events_.ended(*this);
}

}  // namespace corvane
