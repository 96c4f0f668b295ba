#include "peer_server.h"

#include <array>
#include <asio/buffer.hpp>
#include <asio/write.hpp>
#include <cstdio>
#include <deque>
#include <string>
#include <system_error>

#include "command_words.h"

namespace corvane::peer {

class PeerServer::Client : public std::enable_shared_from_this<Client> {
  public:
    Client(PeerServer& server, asio::ip::tcp::socket socket)
        : server_(server), socket_(std::move(socket)), pacer_(server.loop_) {
        std::error_code error;
        const asio::ip::tcp::endpoint remote = socket_.remote_endpoint(error);
        name_ = error ? "?" : remote.address().to_string() + ":" + std::to_string(remote.port());
    }

    const std::string& name() const { return name_; }

    void start() {
        read();
        playScript(0, 0);
    }

    void send(const std::vector<std::uint32_t>& words) {
        const bool idle = outgoing_.empty();
        for (const std::uint8_t byte : wireBytes(words)) {
            outgoing_.push_back(byte);
        }
        if (idle) {
            writeNext();
        }
    }

    void close() {
        std::error_code ignored;
        pacer_.cancel();
        socket_.close(ignored);
    }

  private:
    void read() {
        socket_.async_read_some(
            asio::buffer(incoming_),
            [self = shared_from_this()](const std::error_code& error, std::size_t count) {
                for (std::size_t i = 0; i < count; ++i) {
                    char line[64];
                    std::snprintf(line, sizeof line, "keep-alive 0x%02x from ", self->incoming_[i]);
                    self->server_.say_(line + self->name_);
                }
                if (error) {
                    self->server_.dropped(self.get());
                    return;
                }
                self->read();
            });
    }

    void writeNext() {
        const std::size_t count = std::min<std::size_t>(outgoing_.size(), chunk_.size());
        std::copy_n(outgoing_.begin(), count, chunk_.begin());
        asio::async_write(
            socket_, asio::buffer(chunk_.data(), count),
            [self = shared_from_this(), count](const std::error_code& error, std::size_t) {
                if (error) {
                    return;
                }
                self->outgoing_.erase(self->outgoing_.begin(), self->outgoing_.begin() + count);
                if (!self->outgoing_.empty()) {
                    self->writeNext();
                }
            });
    }

    // Sends word `index` of round `round`, then schedules the next.
    void playScript(std::size_t index, unsigned round) {
        const Script& script = server_.script_;
        if (script.words.empty()) {
            return;
        }
        if (script.interval.count() == 0) {
            for (unsigned r = 0; r < script.rounds; ++r) {
                send(script.words);
            }
            return;
        }
        send({script.words[index]});
        ++index;
        if (index == script.words.size()) {
            index = 0;
            ++round;
            if (script.rounds != 0 && round == script.rounds) {
                return;
            }
        }
        pacer_.expires_after(script.interval);
        pacer_.async_wait([self = shared_from_this(), index, round](const std::error_code& e) {
            if (!e) {
                self->playScript(index, round);
            }
        });
    }

    PeerServer& server_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer pacer_;
    std::string name_;
    std::array<std::uint8_t, 256> incoming_{};
    std::deque<std::uint8_t> outgoing_;
    std::array<std::uint8_t, 65536> chunk_{};
};

PeerServer::PeerServer(asio::io_context& loop, const std::vector<asio::ip::address>& listenOn,
                       std::uint16_t port, Script script,
                       std::function<void(const std::string&)> say)
    : loop_(loop), script_(std::move(script)), say_(std::move(say)) {
    acceptors_.reserve(listenOn.size());
    for (const asio::ip::address& address : listenOn) {
        try {
            acceptors_.emplace_back(loop, asio::ip::tcp::endpoint(address, port));
        } catch (const std::system_error& error) {
            throw std::system_error(error.code(), "cannot listen on " + address.to_string() +
                                                      " port " + std::to_string(port));
        }
        port = this->port();
    }
    for (asio::ip::tcp::acceptor& acceptor : acceptors_) {
        accept(acceptor);
    }
}

PeerServer::~PeerServer() {
    close();
}

void PeerServer::close() {
    std::error_code ignored;
    for (asio::ip::tcp::acceptor& acceptor : acceptors_) {
        acceptor.close(ignored);
    }
    for (const auto& client : clients_) {
        client->close();
    }
    clients_.clear();
}

void PeerServer::accept(asio::ip::tcp::acceptor& acceptor) {
    acceptor.async_accept(
        [this, &acceptor](const std::error_code& error, asio::ip::tcp::socket socket) {
            if (error) {
                return;
            }
            const auto client = std::make_shared<Client>(*this, std::move(socket));
            clients_.insert(client);
            say_("client connected " + client->name());
            client->start();
            if (!waiting_.empty()) {
                client->send(std::exchange(waiting_, {}));
            }
            accept(acceptor);
        });
}

void PeerServer::broadcast(const std::vector<std::uint32_t>& words) {
    if (clients_.empty()) {
        waiting_.insert(waiting_.end(), words.begin(), words.end());
        return;
    }
    for (const auto& client : clients_) {
        client->send(words);
    }
}

void PeerServer::dropped(Client* client) {
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        if (it->get() == client) {
            say_("client disconnected " + client->name());
            clients_.erase(it);
            return;
        }
    }
}

}  // namespace corvane::peer
