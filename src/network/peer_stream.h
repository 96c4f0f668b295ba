#pragma once

// The one TCP connection to a peer, once made, run on the client thread: reads command
// words and writes keep-alive bytes, never blocking the thread.

#include <array>
#include <asio/ip/tcp.hpp>
#include <chrono>
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
        // The connection ended, failed or was reset, on reading or on writing; reported
        // once, from the loop, never after close().
        std::function<void(PeerStream&)> ended;
    };

    // At most this many words read from one peer wait for wordsDelivered(); above it the
    // peer is not read (TCP holds the rest).
    static constexpr std::size_t maxUndeliveredWords = 4096;

    // Starts reading `socket`, connected to `remote`. A byte written and not acknowledged
    // within `unacknowledgedLimit` ends the connection.
    static std::shared_ptr<PeerStream> start(asio::ip::tcp::socket socket,
                                             const asio::ip::tcp::endpoint& remote, Events events,
                                             std::chrono::milliseconds unacknowledgedLimit);

    void close();
    // Writes one 0x00 byte unless the previous one is still being written.
    void writeKeepAlive();
    // `count` words of this peer were handed over; reading resumes if it was held back.
    void wordsDelivered(std::size_t count);
    const asio::ip::tcp::endpoint& remoteEndpoint() const { return remote_; }

    PeerStream(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& remote, Events events);

  private:
    void readMore();
    void finish();

    static constexpr std::size_t readSize = 4096;

    asio::ip::tcp::socket socket_;
    const asio::ip::tcp::endpoint remote_;
    Events events_;
    WordAssembler assembler_;
    std::array<std::uint8_t, readSize> readBuffer_{};
    std::size_t undelivered_ = 0;
    bool reading_ = false;
    bool writing_ = false;
    bool closed_ = false;
};

}  // namespace corvane
