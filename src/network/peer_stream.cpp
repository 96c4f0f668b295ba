#include "network/peer_stream.h"

#include <asio/buffer.hpp>
#include <asio/connect.hpp>
#include <asio/write.hpp>
#include <span>
#include <system_error>
#include <utility>

namespace corvane {

std::shared_ptr<PeerStream> PeerStream::create(asio::io_context& loop,
                                               std::vector<asio::ip::tcp::endpoint> endpoints,
                                               Events events) {
    if (endpoints.empty()) {
        return nullptr;
    }
    asio::ip::tcp::socket socket(loop);
    std::error_code error;
    socket.open(endpoints.front().protocol(), error);
    if (error) {
        return nullptr;
    }
    return std::make_shared<PeerStream>(std::move(socket), std::move(endpoints), std::move(events));
}

PeerStream::PeerStream(asio::ip::tcp::socket socket, std::vector<asio::ip::tcp::endpoint> endpoints,
                       Events events)
    : socket_(std::move(socket)), endpoints_(std::move(endpoints)), events_(std::move(events)) {}

void PeerStream::open() {
    asio::async_connect(
        socket_, endpoints_,
        [self = shared_from_this()](const std::error_code& error, const asio::ip::tcp::endpoint&) {
            if (self->closed_) {
                return;
            }
            if (error) {
                self->finish();
                return;
            }
            self->connected_ = true;
            self->readMore();
        });
}

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
