#pragma once

// A peer on 127.0.0.1 with its own thread: accepts clients, sends them bytes, records
// what they send back and notices when they hang up. Every query waits at most 10 s.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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

#include "support/asio_loop.h"
#include "support/wait_until.h"

namespace corvane::testing {

class LoopbackPeer {
  public:
    LoopbackPeer() {
        accept();
        thread_ = std::thread([this] { loop_.run(); });
    }
    ~LoopbackPeer() {
        loop_.stop();
        thread_.join();
    }

    asio::ip::tcp::endpoint endpoint() const { return acceptor_.local_endpoint(); }

    bool waitForConnections(std::size_t count) {
        return waitFor([this, count] { return clients_.size() >= count; });
    }
    // Whether exactly `count` clients are connected, none still to hang up.
    bool waitForLive(std::size_t count) {
        return waitFor([this, count] {
            return std::size_t(std::ranges::count_if(
                       clients_, [](const auto& client) { return !client->ended; })) == count;
        });
    }
    std::size_t connections() {
        return onLoopThread(loop_, [this] { return clients_.size(); });
    }
    // Whether client `index` (counted from 0) has hung up.
    bool waitForHangUp(std::size_t index) {
        return waitFor([this, index] { return index < clients_.size() && clients_[index]->ended; });
    }
    std::vector<std::uint8_t> received(std::size_t index) {
        return onLoopThread(loop_, [this, index] { return clients_.at(index)->received; });
    }
    // Writes `bytes` to client `index`; the future is ready once they are written.
    std::shared_future<void> sendInBackground(std::size_t index, std::vector<std::uint8_t> bytes) {
        auto written = std::make_shared<std::promise<void>>();
        auto data = std::make_shared<std::vector<std::uint8_t>>(std::move(bytes));
        asio::post(loop_, [this, index, data, written] {
            asio::async_write(
                clients_.at(index)->socket, asio::buffer(*data),
                [data, written](std::error_code, std::size_t) { written->set_value(); });
        });
        return written->get_future().share();
    }
    void send(std::size_t index, std::vector<std::uint8_t> bytes) {
        EXPECT_EQ(sendInBackground(index, std::move(bytes)).wait_for(std::chrono::seconds(10)),
                  std::future_status::ready);
    }
    void close(std::size_t index) {
        onLoopThread(loop_, [this, index] { clients_.at(index)->socket.close(); });
    }

  private:
    struct Client {
        asio::ip::tcp::socket socket;
        std::vector<std::uint8_t> received{};
        std::array<std::uint8_t, 256> buffer{};
        bool ended = false;
    };

    void accept() {
        acceptor_.async_accept([this](std::error_code error, asio::ip::tcp::socket socket) {
            if (!error) {
                clients_.push_back(std::make_shared<Client>(std::move(socket)));
                read(clients_.back());
                accept();
            }
        });
    }
    void read(const std::shared_ptr<Client>& client) {
        client->socket.async_read_some(
            asio::buffer(client->buffer), [this, client](std::error_code error, std::size_t count) {
                client->received.insert(client->received.end(), client->buffer.begin(),
                                        client->buffer.begin() + count);
                client->ended = bool(error);
                if (!error) {
                    read(client);
                }
            });
    }
    template <typename Condition>
    bool waitFor(Condition condition) {
        return waitUntil([&] { return onLoopThread(loop_, condition); }, std::chrono::seconds(10),
                         std::chrono::milliseconds(2));
    }

    asio::io_context loop_;
    asio::ip::tcp::acceptor acceptor_{loop_, {asio::ip::address_v4::loopback(), 0}};
    std::vector<std::shared_ptr<Client>> clients_;
    std::thread thread_;
};

}  // namespace corvane::testing
