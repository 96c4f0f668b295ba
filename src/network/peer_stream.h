#pragma once

// One TCP connection to a peer, run on the client thread: it connects, reads command
// words and writes keep-alive bytes, never blocking the thread.

#include <array>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
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

    // Null when there is no endpoint or no socket can be made.
    static std::shared_ptr<PeerStream> create(asio::io_context& loop,
                                              std::vector<asio::ip::tcp::endpoint> endpoints,
                                              Events events);

    // Connects to the first endpoint that accepts, trying them in order, and starts
    // reading; it has ended when none accepts.
    void open();
    void close();
    // Writes one 0x00 byte unless the previous one is still being written.
    void writeKeepAlive();
    // `count` words of this peer were handed over; reading resumes if it was held back.
    void wordsDelivered(std::size_t count);

    PeerStream(asio::ip::tcp::socket socket, std::vector<asio::ip::tcp::endpoint> endpoints,
               Events events);

  private:
    void readMore();
    void finish();

    static constexpr std::size_t readSize = 4096;

    asio::ip::tcp::socket socket_;
    const std::vector<asio::ip::tcp::endpoint> endpoints_;
    Events events_;
    WordAssembler assembler_;
    std::array<std::uint8_t, readSize> readBuffer_{};
    std::size_t undelivered_ = 0;
    bool connected_ = false;
    bool reading_ = false;
    bool writing_ = false;
    bool closed_ = false;
};

}  // namespace corvane
