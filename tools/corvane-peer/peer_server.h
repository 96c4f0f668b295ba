#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace corvane::peer {

// Accepts any number of clients and sends them command words; tells about every client
// that comes and goes and every byte a client sends (the keep-alives).
class PeerServer {
  public:
    struct Script {
        // Sent to each client as it connects, `rounds` times over, one word every
        // `interval` (zero: all at once). Endless (rounds 0) only when paced.
        std::vector<std::uint32_t> words;
        unsigned rounds = 1;
        std::chrono::milliseconds interval{0};
    };

    // Listens on every address of `listenOn` (at least one), all on the same port: `port`,
    // or one the system picks when it is 0. Throws std::system_error, naming the address,
    // when one cannot be listened on.
    PeerServer(asio::io_context& loop, const std::vector<asio::ip::address>& listenOn,
               std::uint16_t port, Script script, std::function<void(const std::string&)> say);
    ~PeerServer();

    std::uint16_t port() const { return acceptors_.front().local_endpoint().port(); }
    // Sends `words` to every client connected now, or to the first one to come.
    void broadcast(const std::vector<std::uint32_t>& words);
    void close();

  private:
    class Client;
    void accept(asio::ip::tcp::acceptor& acceptor);
    void dropped(Client* client);

    asio::io_context& loop_;
    std::vector<asio::ip::tcp::acceptor> acceptors_;
    const Script script_;
    std::function<void(const std::string&)> say_;
    std::set<std::shared_ptr<Client>> clients_;
    std::vector<std::uint32_t> waiting_;
};

}  // namespace corvane::peer
