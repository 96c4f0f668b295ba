#include "network/peer_stream.h"

#include <algorithm>
#include <asio/buffer.hpp>
#include <asio/write.hpp>
#include <span>
#include <system_error>
#include <utility>

#include "network/unacknowledged_limit.h"

namespace corvane {

std::shared_ptr<PeerStream> PeerStream::start(asio::ip::tcp::socket socket,
                                              const asio::ip::tcp::endpoint& remote, Events events,
                                              std::chrono::milliseconds unacknowledgedLimit) {
    setUnacknowledgedLimit(socket, unacknowledgedLimit);
    auto stream = std::make_shared<PeerStream>(std::move(socket), remote, std::move(events));
    stream->readMore();
    return stream;
}

PeerStream::PeerStream(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& remote,
                       Events events)
    : socket_(std::move(socket)), remote_(remote), events_(std::move(events)) {}

void PeerStream::close() {
    closed_ = true;
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
    readMore();
}

void PeerStream::writeKeepAlive() {
    static constexpr std::uint8_t zero = 0;
    if (closed_ || writing_) {
        return;
    }
    writing_ = true;
    asio::async_write(socket_, asio::buffer(&zero, 1),
                      [self = shared_from_this()](const std::error_code& error, std::size_t) {
                          self->writing_ = false;
                          if (error) {
                              self->finish();
                          }
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
