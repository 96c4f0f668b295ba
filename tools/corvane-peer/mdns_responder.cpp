#include "mdns_responder.h"

#include <algorithm>
#include <array>
#include <asio/ip/host_name.hpp>
#include <asio/ip/multicast.hpp>
#include <asio/ip/udp.hpp>
#include <asio/steady_timer.hpp>
#include <optional>
#include <span>

#include "network/mdns/multicast_socket.h"
#include "service_records.h"

namespace corvane::peer {
namespace {

using asio::ip::udp;
using mdns::DnsName;

constexpr std::uint16_t mdnsPort = 5353;
const asio::ip::address_v4 groupV4 = asio::ip::make_address_v4("224.0.0.251");
const asio::ip::address_v6 groupV6 = asio::ip::make_address_v6("ff02::fb");
// Announced twice, a second apart, as a responder does when it starts.
constexpr auto announceAgainAfter = std::chrono::seconds(1);

// A host label of letters, digits and hyphens, unique to this peer on this computer, so
// that it never contradicts the computer's own responder about its own name.
std::string hostLabel(std::uint16_t port) {
    std::error_code ignored;
    std::string label = asio::ip::host_name(ignored);
    for (char& each : label) {
        const bool plain = (each >= 'a' && each <= 'z') || (each >= 'A' && each <= 'Z') ||
                           (each >= '0' && each <= '9');
        each = plain ? each : '-';
    }
    label = label.substr(0, 40);
    return (label.empty() ? "corvane" : label) + "-peer-" + std::to_string(port);
}

std::vector<asio::ip::address> addressesOf(const mdns::NetworkInterface& interface) {
    std::vector<asio::ip::address> addresses;
    for (const mdns::InterfaceAddress& each : interface.addresses) {
        addresses.push_back(each.address);
    }
    return addresses;
}

std::optional<asio::ip::address_v4> firstV4(const mdns::NetworkInterface& interface) {
    for (const mdns::InterfaceAddress& each : interface.addresses) {
        if (each.address.is_v4()) {
            return each.address.to_v4();
        }
    }
    return std::nullopt;
}

ServiceRecords recordsOf(const ResponderOptions& options) {
    DnsName type = DnsName::fromDotted(options.type + ".local");
    DnsName instance = type;
    instance.labels.insert(instance.labels.begin(), options.name);
    return {std::move(type), std::move(instance), DnsName{{hostLabel(options.port), "local"}},
            options.port};
}

bool hasV6(const mdns::NetworkInterface& interface) {
    return std::ranges::any_of(interface.addresses,
                               [](const auto& each) { return each.address.is_v6(); });
}

}  // namespace

// The UDP sockets and what they say; shared with the handlers, which may still run once
// the responder is gone.
class MdnsResponder::Sockets : public std::enable_shared_from_this<Sockets> {
  public:
    Sockets(asio::io_context& loop, const ResponderOptions& options)
        : v4_(loop),
          v6_(loop),
          announcer_(loop),
          records_(recordsOf(options)),
          interfaces_(mdns::usableInterfaces(options.listInterfaces(), options.interfaces)) {}

    // What keeps it from advertising, or nothing once it has started.
    std::optional<std::string> start() {
        if (interfaces_.empty()) {
            return "no network interface to advertise on";
        }
        const bool v4 = mdns::openMulticastSocket(v4_.socket, udp::v4(), mdnsPort);
        const bool v6 = mdns::openMulticastSocket(v6_.socket, udp::v6(), mdnsPort);
        if (!v4 && !v6) {
            return "cannot advertise: port 5353 is held by a program that does not share it";
        }
        for (const mdns::NetworkInterface& interface : interfaces_) {
            std::error_code ignored;  // an interface without the family is passed over
            if (const auto address = firstV4(interface); address && v4) {
                v4_.socket.set_option(asio::ip::multicast::join_group(groupV4, *address), ignored);
            }
            if (hasV6(interface) && v6) {
                v6_.socket.set_option(asio::ip::multicast::join_group(groupV6, interface.index),
                                      ignored);
            }
        }
        for (Socket* socket : {&v4_, &v6_}) {
            if (socket->socket.is_open()) {
                receive(*socket);
            }
        }
        announce(false);
        announcer_.expires_after(announceAgainAfter);
        announcer_.async_wait([self = shared_from_this()](const std::error_code& error) {
            if (!error && !self->closed_) {
                self->announce(false);
            }
        });
        return std::nullopt;
    }

    void close() {
        if (v4_.socket.is_open() || v6_.socket.is_open()) {
            announce(true);
        }
        closed_ = true;
        announcer_.cancel();
        std::error_code ignored;
        v4_.socket.close(ignored);
        v6_.socket.close(ignored);
    }

  private:
    struct Socket {
        explicit Socket(asio::io_context& loop) : socket(loop) {}
        udp::socket socket;
        std::array<std::uint8_t, 9000> buffer{};
        udp::endpoint from;
    };

    // The whole set of records (or their goodbyes) on every interface in use.
    void announce(bool goodbye) {
        for (const mdns::NetworkInterface& interface : interfaces_) {
            const mdns::DnsMessage message = records_.announcement(addressesOf(interface), goodbye);
            multicast(interface, false, message);
            multicast(interface, true, message);
        }
    }

    void multicast(const mdns::NetworkInterface& interface, bool v6,
                   const mdns::DnsMessage& message) {
        Socket& socket = v6 ? v6_ : v4_;
        const std::optional<asio::ip::address_v4> address = firstV4(interface);
        if (!socket.socket.is_open() || (v6 ? !hasV6(interface) : !address)) {
            return;
        }
        // A send that fails (the interface just went) is an announcement or answer missed.
        std::error_code error;
        asio::ip::address_v6 group = groupV6;
        group.scope_id(interface.index);
        if (v6) {
            socket.socket.set_option(asio::ip::multicast::outbound_interface(interface.index),
                                     error);
        } else {
            socket.socket.set_option(asio::ip::multicast::outbound_interface(*address), error);
        }
        const udp::endpoint to =
            v6 ? udp::endpoint(group, mdnsPort) : udp::endpoint(groupV4, mdnsPort);
        socket.socket.send_to(asio::buffer(mdns::writeMessage(message)), to, 0, error);
    }

    void receive(Socket& socket) {
        socket.socket.async_receive_from(
            asio::buffer(socket.buffer), socket.from,
            [self = shared_from_this(), &socket](const std::error_code& error, std::size_t size) {
                if (self->closed_ || error == asio::error::operation_aborted) {
                    return;
                }
                if (!error) {
                    self->answer(socket, std::span(socket.buffer).first(size));
                }
                self->receive(socket);
            });
    }

    // Answers a query from a network of an interface in use, on that interface: by
    // multicast, or to the querier alone when it asked from another port than 5353.
    void answer(Socket& socket, std::span<const std::uint8_t> bytes) {
        const asio::ip::address source = socket.from.address();
        const unsigned interfaceIndex =
            mdns::interfaceOf(source, source.is_v6() ? source.to_v6().scope_id() : 0, interfaces_);
        const auto interface =
            std::ranges::find(interfaces_, interfaceIndex, &mdns::NetworkInterface::index);
        const std::optional<mdns::DnsMessage> query = mdns::parseMessage(bytes);
        if (interfaceIndex == 0 || interface == interfaces_.end() || !query) {
            return;
        }
        const bool oneShot = socket.from.port() != mdnsPort;
        const std::optional<mdns::DnsMessage> response =
            records_.answer(*query, addressesOf(*interface), oneShot);
        if (!response) {
            return;
        }
        if (oneShot) {
            std::error_code ignored;
            socket.socket.send_to(asio::buffer(mdns::writeMessage(*response)), socket.from, 0,
                                  ignored);
        } else {
            multicast(*interface, source.is_v6(), *response);
        }
    }

    Socket v4_;
    Socket v6_;
    asio::steady_timer announcer_;
    const ServiceRecords records_;
    const std::vector<mdns::NetworkInterface> interfaces_;
    bool closed_ = false;
};

MdnsResponder::MdnsResponder(asio::io_context& loop, ResponderOptions options,
                             std::function<void(const std::string&)> say)
    : sockets_(std::make_shared<Sockets>(loop, options)) {
    if (const std::optional<std::string> trouble = sockets_->start()) {
        say(*trouble);
        return;
    }
    say("ready: advertising \"" + options.name + "\" " + options.type + " on port " +
        std::to_string(options.port));
}

MdnsResponder::~MdnsResponder() {
    sockets_->close();
}

}  // namespace corvane::peer
