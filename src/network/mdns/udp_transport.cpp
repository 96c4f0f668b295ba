#include "network/mdns/udp_transport.h"

#include <algorithm>
#include <array>
#include <asio/ip/multicast.hpp>
#include <asio/ip/udp.hpp>
#include <optional>
#include <set>

#include "network/mdns/multicast_socket.h"

namespace corvane::mdns {
namespace {

using asio::ip::udp;

const asio::ip::address_v4 groupV4 = asio::ip::make_address_v4("224.0.0.251");
const asio::ip::address_v6 groupV6 = asio::ip::make_address_v6("ff02::fb");
// The largest multicast DNS message.
constexpr std::size_t messageSize = 9000;
// A message from a network none of the interfaces is on has the interfaces listed
// again, at most this often (an address of ours may have changed).
constexpr auto relistAfter = std::chrono::seconds(5);

struct Socket {
    explicit Socket(asio::io_context& loop) : socket(loop) {}
    udp::socket socket;
    bool oneShot = false;
    std::array<std::uint8_t, messageSize> buffer{};
    udp::endpoint from;
};

// Shared with the receive handlers, which may still run once the transport is gone.
struct State {
    std::optional<Socket> v4;
    std::optional<Socket> v6;
    std::vector<NetworkInterface> interfaces;
    Clock::time_point listed;
    std::function<void()> relist;
    PacketSink sink;
    bool closed = false;
};

std::optional<asio::ip::address> firstAddress(const NetworkInterface& interface, bool v6) {
    for (const InterfaceAddress& each : interface.addresses) {
        if (each.address.is_v6() == v6) {
            return each.address;
        }
    }
    return std::nullopt;
}

void receiveNext(const std::shared_ptr<State>& state, Socket& socket) {
    socket.socket.async_receive_from(
        asio::buffer(socket.buffer), socket.from,
        [state, &socket](const std::error_code& error, std::size_t size) {
            if (state->closed || error == asio::error::operation_aborted) {
                return;
            }
            if (!error) {
                const asio::ip::address source = socket.from.address();
                const unsigned scope = source.is_v6() ? source.to_v6().scope_id() : 0;
                unsigned interface = interfaceOf(source, scope, state->interfaces);
                if (interface == 0 && Clock::now() - state->listed > relistAfter) {
                    state->relist();
                    interface = interfaceOf(source, scope, state->interfaces);
                }
                // Only what comes from a network of the interfaces in use is heard.
                if (interface != 0) {
                    state->sink(std::span(socket.buffer).first(size), socket.from.port(),
                                interface);
                }
            }
            if (!state->closed) {
                receiveNext(state, socket);
            }
        });
}

class UdpTransport final : public Transport {
  public:
    UdpTransport(asio::io_context& loop, const UdpTransportOptions& options, PacketSink sink)
        : options_(options) {
        state_->sink = std::move(sink);
        state_->relist = [this] { relist(); };
        open(loop, udp::v4(), state_->v4);
        open(loop, udp::v6(), state_->v6);
        relist();
        for (std::optional<Socket>* socket : {&state_->v4, &state_->v6}) {
            if (*socket) {
                receiveNext(state_, **socket);
            }
        }
    }

    ~UdpTransport() override {
        state_->closed = true;
        state_->relist = nullptr;
        std::error_code ignored;
        for (std::optional<Socket>* socket : {&state_->v4, &state_->v6}) {
            if (*socket) {
                (*socket)->socket.close(ignored);
            }
        }
    }

    std::vector<Link> links() override {
        relist();
        std::vector<Link> links;
        for (const NetworkInterface& interface : state_->interfaces) {
            if (state_->v4 && firstAddress(interface, false)) {
                links.push_back({interface.index, false, state_->v4->oneShot});
            }
            if (state_->v6 && firstAddress(interface, true)) {
                links.push_back({interface.index, true, state_->v6->oneShot});
            }
        }
        if (links.empty() != noLinks_) {
            noLinks_ = links.empty();
            if (noLinks_) {
                options_.log(
                    "No network interface to look for peers on" +
                    std::string(options_.interfaces.empty() ? "." : " among those named."));
            }
        }
        return links;
    }

    void send(const Link& link, std::span<const std::uint8_t> message) override {
        const auto interface =
            std::ranges::find(state_->interfaces, link.interface, &NetworkInterface::index);
        std::optional<Socket>& socket = link.v6 ? state_->v6 : state_->v4;
        if (interface == state_->interfaces.end() || !socket) {
            return;
        }
        // A send that fails (the interface just went) is one query missed; the schedule
        // asks again.
        std::error_code error;
        if (link.v6) {
            socket->socket.set_option(asio::ip::multicast::outbound_interface(link.interface),
                                      error);
            asio::ip::address_v6 group = groupV6;
            group.scope_id(link.interface);
            socket->socket.send_to(asio::buffer(message.data(), message.size()),
                                   udp::endpoint(group, Querier::port), 0, error);
        } else if (const auto address = firstAddress(*interface, false)) {
            socket->socket.set_option(asio::ip::multicast::outbound_interface(address->to_v4()),
                                      error);
            socket->socket.send_to(asio::buffer(message.data(), message.size()),
                                   udp::endpoint(groupV4, Querier::port), 0, error);
        }
    }

  private:
    void open(asio::io_context& loop, const udp& protocol, std::optional<Socket>& socket) {
        socket.emplace(loop);
        if (openMulticastSocket(socket->socket, protocol, Querier::port)) {
            return;
        }
        if (!openMulticastSocket(socket->socket, protocol, 0)) {
            socket.reset();  // no such address family here
            return;
        }
        socket->oneShot = true;
        options_.log(
            "Port 5353 is held by a program that does not share it: looking for "
            "peers with one-shot queries every 3 s instead.");
    }

    // Lists the interfaces in use again and joins the multicast groups on new ones.
    void relist() {
        state_->interfaces = usableInterfaces(options_.listInterfaces(), options_.interfaces);
        state_->listed = Clock::now();
        std::set<std::pair<bool, unsigned>> present;
        for (const NetworkInterface& interface : state_->interfaces) {
            for (const bool v6 : {false, true}) {
                std::optional<Socket>& socket = v6 ? state_->v6 : state_->v4;
                const std::optional<asio::ip::address> address = firstAddress(interface, v6);
                if (!socket || socket->oneShot || !address) {
                    continue;
                }
                present.emplace(v6, interface.index);
                if (joined_.contains({v6, interface.index})) {
                    continue;
                }
                // Joining where the group is joined already fails harmlessly.
                std::error_code ignored;
                socket->socket.set_option(
                    v6 ? asio::ip::multicast::join_group(groupV6, interface.index)
                       : asio::ip::multicast::join_group(groupV4, address->to_v4()),
                    ignored);
                joined_.emplace(v6, interface.index);
            }
        }
        // An interface that went and comes back is joined again.
        std::erase_if(joined_, [&present](const auto& each) { return !present.contains(each); });
    }

    UdpTransportOptions options_;
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::set<std::pair<bool, unsigned>> joined_;
    bool noLinks_ = false;
};

}  // namespace

std::unique_ptr<Transport> makeUdpTransport(asio::io_context& loop,
                                            const UdpTransportOptions& options, PacketSink sink) {
    return std::make_unique<UdpTransport>(loop, options, std::move(sink));
}

}  // namespace corvane::mdns
