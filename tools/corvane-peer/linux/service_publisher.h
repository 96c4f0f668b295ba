#pragma once

#include <avahi-client/client.h>
#include <avahi-client/publish.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "network/avahi/asio_avahi_poll.h"

namespace corvane::peer {

// Advertises one service through Avahi for as long as it lives, on the given loop.
// Waits for the daemon when it is not running and advertises again after it restarts.
class ServicePublisher {
  public:
    // `announce` gets one line for each change worth telling the user about. With a `ttl`
    // (seconds), the service's own records live that long instead of Avahi's 120 s and
    // 75 min, so that browsers forget a peer that vanishes without a goodbye sooner.
    ServicePublisher(asio::io_context& loop, std::string name, std::string type, std::uint16_t port,
                     std::uint32_t ttl, std::function<void(const std::string&)> announce);
    ~ServicePublisher();
    ServicePublisher(const ServicePublisher&) = delete;
    ServicePublisher& operator=(const ServicePublisher&) = delete;

  private:
    static void clientChanged(AvahiClient* client, AvahiClientState state, void* userdata);
    static void groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* userdata);
    void connect();
    void disconnect();
    void publish();
    int addRecords();

    avahi::AsioAvahiPoll poll_;
    std::string name_;
    const std::string type_;
    const std::uint16_t port_;
    const std::uint32_t ttl_;
    std::function<void(const std::string&)> announce_;
    AvahiClient* client_ = nullptr;
    AvahiEntryGroup* group_ = nullptr;
    std::shared_ptr<int> alive_ = std::make_shared<int>();
};

}  // namespace corvane::peer
