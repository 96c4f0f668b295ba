#pragma once

// The connection attempts to one peer: its addresses are tried in turn, IPv6 and IPv4
// alternating, each on a socket of its own family; an attempt starts `attemptStagger`
// after the previous one, or at once when that one fails, and is given up after
// `attemptDeadline`. The first socket that connects is handed over.

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace corvane {

class PeerConnector : public std::enable_shared_from_this<PeerConnector> {
  public:
    struct Outcome {
        // The connected socket, and where to; empty when no address could be reached.
        std::optional<asio::ip::tcp::socket> socket;
        asio::ip::tcp::endpoint remote;
        // This host could not make a socket (out of descriptors or memory), as opposed to
        // the peer not answering.
        bool outOfResources = false;
    };
    using Done = std::function<void(Outcome)>;

    static constexpr std::chrono::milliseconds attemptStagger{250};
    static constexpr std::chrono::milliseconds attemptDeadline{10'000};

    // Starts the attempts. `done` is called once, from the loop and never from inside a
    // call to this object, unless cancel() comes first.
    static std::shared_ptr<PeerConnector> start(asio::io_context& loop,
                                                const std::vector<asio::ip::tcp::endpoint>& to,
                                                Done done);
    // Addresses not seen before join the attempts, after those still waiting; attempts
    // under way go on.
    void add(const std::vector<asio::ip::tcp::endpoint>& endpoints);
    // Ends every attempt; nothing is reported.
    void cancel();

    PeerConnector(asio::io_context& loop, Done done);

  private:
    struct Attempt;
    void startAttempt();
    void scheduleNext();
    void attemptEnded(const std::shared_ptr<Attempt>& attempt, const std::error_code& error);
    void endAttempts();
    void finish(Outcome outcome);

    asio::io_context& loop_;
    Done done_;
    // Every address ever given, in the order to try them; those before next_ were tried.
    std::vector<asio::ip::tcp::endpoint> queue_;
    std::size_t next_ = 0;
    std::vector<std::shared_ptr<Attempt>> attempts_;
    asio::steady_timer stagger_;
    // Tells a stagger wait that was replaced or cancelled after it came due.
    unsigned staggerGeneration_ = 0;
    bool staggering_ = false;
    bool outOfResources_ = false;
    bool finished_ = false;
};

}  // namespace corvane
