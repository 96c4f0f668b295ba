#pragma once

// One TCP connection to a peer, run on the client thread: it connects, reads command
// words and writes keep-alive bytes, never blocking the thread.

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "network/word_assembler.h"

namespace corvane {

class PeerStream : public std::enable_shared_from_this<PeerStream> {
  public:
    struct Events {
        // Words read, in order; a batch per read.
        std::function<void(PeerStream&, std::vector<std::uint32_t>)> wordsRead;
        // The connection failed, ended or was reset; reported once, never after close().
        std::function<void(PeerStream&)> ended;
    };

    // At most this many words read from one peer wait for wordsDelivered(); above it the
    // peer is not read (TCP holds the rest).
    static constexpr std::size_t maxUndeliveredWords = 4096;
    // A connection attempt starts this long after the previous one, or at once when that
    // one fails; each is given up after attemptDeadline.
    static constexpr std::chrono::milliseconds attemptStagger{250};
    static constexpr std::chrono::milliseconds attemptDeadline{10'000};

    // Null when there is no endpoint. Once connected, a byte written and not acknowledged
    // within `unacknowledgedLimit` ends the connection.
    static std::shared_ptr<PeerStream> create(asio::io_context& loop,
                                              std::vector<asio::ip::tcp::endpoint> endpoints,
                                              Events events,
                                              std::chrono::milliseconds unacknowledgedLimit);

    // Tries the endpoints, IPv6 and IPv4 in turn, each on a socket of its own family,
    // keeps the first that connects and starts reading; it has ended when none connects.
    void open();
    void close();
    // Writes one 0x00 byte unless the previous one is still being written.
    void writeKeepAlive();
    // `count` words of this peer were handed over; reading resumes if it was held back.
    void wordsDelivered(std::size_t count);
    // The endpoint it connected to; empty while connecting and once ended.
    std::optional<asio::ip::tcp::endpoint> remoteEndpoint() const {
        return closed_ ? std::nullopt : connectedTo_;
    }

    PeerStream(asio::io_context& loop, std::vector<asio::ip::tcp::endpoint> endpoints,
               Events events, std::chrono::milliseconds unacknowledgedLimit);

  private:
    struct Attempt;
    void startAttempt();
    void attemptEnded(const std::shared_ptr<Attempt>& attempt,
                      const asio::ip::tcp::endpoint& target, const std::error_code& error);
    void endAttempts();
    void readMore();
    void finish();

    static constexpr std::size_t readSize = 4096;

    asio::io_context& loop_;
    const std::vector<asio::ip::tcp::endpoint> endpoints_;
    const std::chrono::milliseconds unacknowledgedLimit_;
    Events events_;
    std::size_t nextEndpoint_ = 0;
    std::vector<std::shared_ptr<Attempt>> attempts_;
    asio::steady_timer stagger_;
    asio::ip::tcp::socket socket_;
    std::optional<asio::ip::tcp::endpoint> connectedTo_;
    WordAssembler assembler_;
    std::array<std::uint8_t, readSize> readBuffer_{};
    std::size_t undelivered_ = 0;
    bool connected_ = false;
    bool reading_ = false;
    bool writing_ = false;
    bool closed_ = false;
};

}  // namespace corvane
