#include "linux/service_publisher.h"

#include <avahi-common/alternative.h>
#include <avahi-common/domain.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include <asio/post.hpp>
#include <cstring>
#include <utility>
#include <vector>

namespace corvane::peer {
namespace {

// A name as DNS carries it (each label after its length, then a zero), from the escaped
// text form Avahi uses.
std::vector<std::uint8_t> wireName(const char* escaped) {
    std::vector<std::uint8_t> wire;
    char label[AVAHI_LABEL_MAX];
    while (*escaped != '\0' && avahi_unescape_label(&escaped, label, sizeof label) != nullptr &&
           label[0] != '\0') {
        const std::size_t length = std::strlen(label);
        wire.push_back(static_cast<std::uint8_t>(length));
        wire.insert(wire.end(), label, label + length);
    }
    wire.push_back(0);
    return wire;
}

}  // namespace

ServicePublisher::ServicePublisher(asio::io_context& loop, std::string name, std::string type,
                                   std::uint16_t port, std::uint32_t ttl,
                                   std::function<void(const std::string&)> announce)
    : poll_(loop),
      name_(std::move(name)),
      type_(std::move(type)),
      port_(port),
      ttl_(ttl),
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
    const int error =
        ttl_ != 0 ? addRecords()
                  : avahi_entry_group_add_service(group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                                  static_cast<AvahiPublishFlags>(0), name_.c_str(),
                                                  type_.c_str(), nullptr, nullptr, port_, nullptr);
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

// The records Avahi would publish for the service, with lives of ttl_: the type's pointer
// to the instance (shared), the instance's location and its empty text (both its own).
int ServicePublisher::addRecords() {
    char instance[AVAHI_DOMAIN_NAME_MAX];
    if (const int error = avahi_service_name_join(instance, sizeof instance, name_.c_str(),
                                                  type_.c_str(), "local");
        error < 0) {
        return error;
    }
    const std::string type = type_ + ".local";
    const std::vector<std::uint8_t> pointer = wireName(instance);
    std::vector<std::uint8_t> location{
        0, 0, 0, 0, static_cast<std::uint8_t>(port_ >> 8), static_cast<std::uint8_t>(port_)};
    const std::vector<std::uint8_t> host = wireName(avahi_client_get_host_name_fqdn(client_));
    location.insert(location.end(), host.begin(), host.end());
    const std::vector<std::uint8_t> text{0};
    struct Record {
        const char* name;
        AvahiPublishFlags flags;
        std::uint16_t type;
        const std::vector<std::uint8_t>& data;
    };
    for (const Record& record :
         {Record{type.c_str(), {}, AVAHI_DNS_TYPE_PTR, pointer},
          Record{instance, AVAHI_PUBLISH_UNIQUE, AVAHI_DNS_TYPE_SRV, location},
          Record{instance, AVAHI_PUBLISH_UNIQUE, AVAHI_DNS_TYPE_TXT, text}}) {
        if (const int error = avahi_entry_group_add_record(
                group_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, record.flags, record.name,
                AVAHI_DNS_CLASS_IN, record.type, ttl_, record.data.data(), record.data.size());
            error < 0) {
            return error;
        }
    }
    return 0;
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
