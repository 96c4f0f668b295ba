#include "linux/service_publisher.h"

#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <asio/post.hpp>
#include <utility>

namespace corvane::peer {

ServicePublisher::ServicePublisher(asio::io_context& loop, std::string name, std::string type,
                                   std::uint16_t port,
                                   std::function<void(const std::string&)> announce)
    : poll_(loop),
      name_(std::move(name)),
      type_(std::move(type)),
      port_(port),
      announce_(std::move(announce)) {
    connect();
}

ServicePublisher::~ServicePublisher() {
    disconnect();
}

void ServicePublisher::connect() {
    int error = 0;
    client_ = avahi_client_new(poll_.api(), AVAHI_CLIENT_NO_FAIL, clientChanged, this, &error);
    if (client_ == nullptr) {
        announce_(std::string("avahi: ") + avahi_strerror(error));
    }
}

void ServicePublisher::disconnect() {
    group_ = nullptr;  // freed with the client
    if (client_ != nullptr) {
        avahi_client_free(std::exchange(client_, nullptr));
    }
}

void ServicePublisher::clientChanged(AvahiClient* client, AvahiClientState state, void* userdata) {
    auto* self = static_cast<ServicePublisher*>(userdata);
    self->client_ = client;
    switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            self->publish();
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            if (self->group_ != nullptr) {
                avahi_entry_group_reset(self->group_);
            }
            break;
        case AVAHI_CLIENT_CONNECTING:
            self->announce_("waiting for avahi-daemon");
            break;
        case AVAHI_CLIENT_FAILURE:
            // Lost the daemon: start over once this callback has returned.
            self->announce_("avahi-daemon went away; waiting for it");
            asio::post(self->poll_.loop(), [self, alive = std::weak_ptr<int>(self->alive_)] {
                if (!alive.expired()) {
                    self->disconnect();
                    self->connect();
                }
            });
            break;
    }
}

void ServicePublisher::publish() {
    if (group_ == nullptr) {
        group_ = avahi_entry_group_new(client_, groupChanged, this);
        if (group_ == nullptr) {
            announce_("avahi: cannot create an entry group");
            return;
        }
    }
    if (!avahi_entry_group_is_empty(group_)) {
        return;
    }
    const int error = avahi_entry_group_add_service(
        group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, static_cast<AvahiPublishFlags>(0),
        name_.c_str(), type_.c_str(), nullptr, nullptr, port_, nullptr);
    if (error == AVAHI_ERR_COLLISION) {
        char* other = avahi_alternative_service_name(name_.c_str());
        name_ = other;
        avahi_free(other);
        publish();
        return;
    }
    if (error < 0 || avahi_entry_group_commit(group_) < 0) {
        announce_(std::string("avahi: cannot advertise: ") + avahi_strerror(error));
    }
}

void ServicePublisher::groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state,
                                    void* userdata) {
    auto* self = static_cast<ServicePublisher*>(userdata);
    self->group_ = group;
    if (state == AVAHI_ENTRY_GROUP_ESTABLISHED) {
        self->announce_("ready: advertising \"" + self->name_ + "\" " + self->type_ + " on port " +
                        std::to_string(self->port_));
    } else if (state == AVAHI_ENTRY_GROUP_COLLISION) {
        char* other = avahi_alternative_service_name(self->name_.c_str());
        self->announce_("name \"" + self->name_ + "\" is taken; using \"" + other + "\"");
        self->name_ = other;
        avahi_free(other);
        avahi_entry_group_reset(group);
        self->publish();
    }
}

}  // namespace corvane::peer
