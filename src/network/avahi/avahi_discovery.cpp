#include "network/avahi/avahi_discovery.h"

#include <avahi-client/client.h>
#include <avahi-client/lookup.h>

#include <asio/steady_timer.hpp>
#include <iostream>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "network/avahi/asio_avahi_poll.h"
#include "network/avahi/avahi_service.h"

namespace corvane::avahi {
namespace {

// After browsing starts again on a restarted daemon, services not seen again within this
// time are taken as gone.
constexpr std::chrono::seconds staleAfterRestart{5};
// A client that could not be made at all (no system bus, no memory) is tried again after this.
constexpr std::chrono::seconds clientRetry{1};

void say(const char* line) {
    std::cerr << "corvane-client: " << line << std::endl;
}

class AvahiDiscovery final : public ServiceDiscovery {
  public:
    AvahiDiscovery(asio::io_context& loop, ServiceDiscoveryListener& listener)
        : poll_(loop), listener_(listener), sweep_(loop), reconnect_(loop) {
        connect();
    }

    ~AvahiDiscovery() override {
        stopBrowsing();
        disconnect();
    }

    void search(const std::string& type, const std::string& domain) override {
        type_ = type;
        domain_ = domain;
        searching_ = true;
        if (daemon_ == Daemon::running && browser_ == nullptr) {
            startBrowsing();
        }
    }

    void stop() override {
        searching_ = false;
        stopBrowsing();
        services_.clear();
    }

  private:
    enum class Daemon { unknown, running, awaited };
    using Instance = std::pair<AvahiIfIndex, AvahiProtocol>;
    struct Entry {
        std::shared_ptr<AvahiService> service;
        // Where the service is seen; empty after a daemon restart until seen again.
        std::set<Instance> instances;
    };

    void connect() {
        int error = 0;
        // NO_FAIL: without a daemon the client waits for one instead of failing.
        client_ = avahi_client_new(poll_.api(), AVAHI_CLIENT_NO_FAIL, clientChanged, this, &error);
        if (client_ == nullptr) {
            daemonAway();
            reconnectAfter(clientRetry);
        }
    }

    void disconnect() {
        if (client_ == nullptr) {
            return;
        }
        // avahi_client_free frees every lookup made through the client: they end first.
        forEachService([](AvahiService& service) { service.clientLost(); });
        avahi_client_free(std::exchange(client_, nullptr));
    }

    void reconnectAfter(std::chrono::milliseconds delay) {
        reconnect_.expires_after(delay);
        reconnect_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const std::error_code& e) {
            if (!e && !alive.expired()) {
                disconnect();
                connect();
            }
        });
    }

    template <typename Action>
    void forEachService(Action action) {
        std::erase_if(live_, [](const std::weak_ptr<AvahiService>& s) { return s.expired(); });
        for (const std::weak_ptr<AvahiService>& weak : live_) {
            if (const auto service = weak.lock()) {
                action(*service);
            }
        }
    }

    static void clientChanged(AvahiClient* client, AvahiClientState state,
                              void* userdata) noexcept {
        auto* self = static_cast<AvahiDiscovery*>(userdata);
        self->client_ = client;  // also called from inside avahi_client_new
        switch (state) {
            case AVAHI_CLIENT_S_RUNNING:
            case AVAHI_CLIENT_S_REGISTERING:
            case AVAHI_CLIENT_S_COLLISION:
                self->daemonRunning();
                break;
            case AVAHI_CLIENT_CONNECTING:
                self->daemonAway();
                break;
            case AVAHI_CLIENT_FAILURE:
                // Avahi 0.8 reports a daemon that went away as a failure of the client:
                // a new client, made once this callback has returned, waits for the next.
                self->daemonAway();
                self->reconnectAfter(std::chrono::milliseconds(0));
                break;
        }
    }

    void daemonRunning() {
        if (daemon_ == Daemon::running) {
            return;
        }
        if (daemon_ == Daemon::awaited) {
            say(wentAway_ ? "avahi-daemon is back." : "avahi-daemon is running.");
        }
        daemon_ = Daemon::running;
        forEachService([this](AvahiService& service) { service.clientReady(client_); });
        if (searching_ && browser_ == nullptr) {
            startBrowsing();
        }
    }

    void daemonAway() {
        if (daemon_ == Daemon::awaited) {
            return;
        }
        wentAway_ = daemon_ == Daemon::running;
        say(wentAway_ ? "avahi-daemon went away; waiting for it to come back."
                      : "avahi-daemon is not running; waiting for it.");
        daemon_ = Daemon::awaited;
        // Its browser is dead, and which services are still there is known again only
        // once the next browser reports them.
        stopBrowsing();
        for (auto& [name, entry] : services_) {
            entry.instances.clear();
        }
        forEachService([](AvahiService& service) { service.clientLost(); });
    }

    void startBrowsing() {
        browser_ =
            avahi_service_browser_new(client_, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, type_.c_str(),
                                      domain_.empty() ? nullptr : domain_.c_str(),
                                      static_cast<AvahiLookupFlags>(0), browsed, this);
        if (browser_ == nullptr || services_.empty()) {
            return;
        }
        sweep_.expires_after(staleAfterRestart);
        sweep_.async_wait([this, alive = std::weak_ptr<int>(alive_)](const std::error_code& e) {
            if (!e && !alive.expired()) {
                removeUnseen();
            }
        });
    }

    void stopBrowsing() {
        sweep_.cancel();
        if (browser_ != nullptr) {
            avahi_service_browser_free(std::exchange(browser_, nullptr));
        }
    }

    void removeUnseen() {
        for (auto entry = services_.begin(); entry != services_.end();) {
            if (entry->second.instances.empty()) {
                const std::shared_ptr<AvahiService> service = entry->second.service;
                entry = services_.erase(entry);
                listener_.serviceRemoved(service);
            } else {
                ++entry;
            }
        }
    }

    static void browsed(AvahiServiceBrowser*, AvahiIfIndex interface, AvahiProtocol protocol,
                        AvahiBrowserEvent event, const char* name, const char* type,
                        const char* domain, AvahiLookupResultFlags, void* userdata) noexcept {
        auto* self = static_cast<AvahiDiscovery*>(userdata);
        switch (event) {
            case AVAHI_BROWSER_NEW:
                self->instanceAppeared({name, type, domain}, {interface, protocol});
                break;
            case AVAHI_BROWSER_REMOVE:
                self->instanceVanished({name, type, domain}, {interface, protocol});
                break;
            case AVAHI_BROWSER_FAILURE:
                self->stopBrowsing();
                break;
            default:
                break;
        }
    }

    void instanceAppeared(AvahiService::Name name, Instance instance) {
        Entry& entry = services_[name];
        entry.instances.insert(instance);
        if (entry.service) {
            return;
        }
        entry.service = std::make_shared<AvahiService>(poll_.loop(), listener_, std::move(name));
        entry.service->clientReady(client_);
        live_.push_back(entry.service);
        listener_.serviceFound(entry.service);
    }

    void instanceVanished(const AvahiService::Name& name, Instance instance) {
        const auto entry = services_.find(name);
        if (entry == services_.end()) {
            return;
        }
        entry->second.instances.erase(instance);
        if (entry->second.instances.empty()) {
            const std::shared_ptr<AvahiService> service = entry->second.service;
            services_.erase(entry);
            listener_.serviceRemoved(service);
        }
    }

    AsioAvahiPoll poll_;
    ServiceDiscoveryListener& listener_;
    AvahiClient* client_ = nullptr;
    Daemon daemon_ = Daemon::unknown;
    // Whether the daemon awaited was running before (a restart) rather than never seen.
    bool wentAway_ = false;
    AvahiServiceBrowser* browser_ = nullptr;
    asio::steady_timer sweep_;
    asio::steady_timer reconnect_;
    bool searching_ = false;
    std::string type_;
    std::string domain_;
    std::map<AvahiService::Name, Entry> services_;
    // Every service object still in use anywhere, so that none keeps a freed client.
    std::vector<std::weak_ptr<AvahiService>> live_;
    // Tasks posted to the loop check that the discovery still exists.
    std::shared_ptr<int> alive_ = std::make_shared<int>();
};

}  // namespace

std::unique_ptr<ServiceDiscovery> makeAvahiDiscovery(asio::io_context& loop,
                                                     ServiceDiscoveryListener& listener) {
    return std::make_unique<AvahiDiscovery>(loop, listener);
}

}  // namespace corvane::avahi
