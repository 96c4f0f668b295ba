#pragma once

// A peer on 127.0.0.1 with its own thread: accepts clients, sends them bytes, records
// what they send back and notices when they hang up. Every query waits at most 10 s.

#include <array>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "support/on_loop_thread.h"
#include "support/wait_until.h"

namespace corvane::testing {

class LoopbackPeer {
  public:
    // A peer that never reads leaves every byte sent to it in the socket.
    explicit LoopbackPeer(bool reads = true) : reads_(reads) {
        accept();
        thread_ = std::thread([this] { loop_.run(); });
    }
    ~LoopbackPeer() {
        asio::post(loop_, [this] {
            acceptor_.close();
            for (const auto& client : clients_) {
                client->socket.close();
            }
            idle_.reset();
        });
        thread_.join();
    }

    asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }

    // Whether `count` clients have connected so far, waiting up to 10 s for them.
    bool waitForConnections(std::size_t count) {
        return waitFor([this, count] { return clients_.size() >= count; });
    }
    // Whether the client of connection `index` (counted from 0) has hung up.
    bool waitForHangUp(std::size_t index) {
        return waitFor([this, index] { return index < clients_.size() && clients_[index]->ended; });
    }
    // The bytes received on connection `index`.
    std::vector<std::uint8_t> received(std::size_t index) {
        return onLoopThread(loop_, [this, index] { return clients_.at(index)->received; });
    }
    // Writes `bytes` on connection `index`; returns when they are written.
    void send(std::size_t index, std::vector<std::uint8_t> bytes) {
        onLoopThread(loop_, [this, index, &bytes] {
            std::error_code ignored;
            asio::write(clients_.at(index)->socket, asio::buffer(bytes), ignored);
            return true;
        });
    }
    // Writes `bytes` on connection `index` without waiting; `done` is set when written.
    std::shared_future<void> sendInBackground(std::size_t index, std::vector<std::uint8_t> bytes) {
        auto done = std::make_shared<std::promise<void>>();
        std::shared_future<void> result = done->get_future().share();
        asio::post(
            loop_, [this, index,
                    bytes = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes)), done] {
                asio::async_write(
                    clients_.at(index)->socket, asio::buffer(*bytes),
                    [bytes, done](const std::error_code&, std::size_t) { done->set_value(); });
            });
        return result;
    }
    void close(std::size_t index) {
        onLoopThread(loop_, [this, index] {
            clients_.at(index)->socket.close();
            return true;
        });
    }

  private:
    struct Client {
        explicit Client(asio::ip::tcp::socket s) : socket(std::move(s)) {}
        asio::ip::tcp::socket socket;
        std::vector<std::uint8_t> received;
        std::array<std::uint8_t, 256> buffer{};
        bool ended = false;
    };

    void accept() {
        acceptor_.async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
            if (error) {
                return;
            }
            clients_.push_back(std::make_shared<Client>(std::move(socket)));
            if (reads_) {
                read(clients_.back());
            }
            accept();
        });
    }
    void read(const std::shared_ptr<Client>& client) {
        client->socket.async_read_some(
            asio::buffer(client->buffer),
            [this, client](const std::error_code& error, std::size_t count) {
                client->received.insert(client->received.end(), client->buffer.begin(),
                                        client->buffer.begin() + count);
                if (error) {
                    client->ended = true;
                    return;
                }
                read(client);
            });
    }
    template <typename Condition>
    bool waitFor(Condition condition) {
        return waitUntil([&] { return onLoopThread(loop_, condition); }, std::chrono::seconds(10),
                         std::chrono::milliseconds(2));
    }

    const bool reads_;
    asio::io_context loop_;
    asio::executor_work_guard<asio::io_context::executor_type> idle_{loop_.get_executor()};
    asio::ip::tcp::acceptor acceptor_{loop_,
                                      asio::ip::tcp::endpoint(asio::ip::address_v4::loopback(), 0)};
    std::vector<std::shared_ptr<Client>> clients_;
    std::thread thread_;
};

}  // namespace corvane::testing
