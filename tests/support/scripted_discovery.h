#pragma once

// A service discovery driven by the test: the test reports services found and removed, and each
// service answers a resolve as scripted. Everything is reported on the client's loop, as the real
// discovery does.

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "network/service_discovery.h"
#include "support/asio_loop.h"

namespace corvane::testing {

class ScriptedService final : public DiscoveredService,
                              public std::enable_shared_from_this<ScriptedService> {
  public:
    // A resolve succeeds with `endpoints` (none: resolved without an address) or fails.
    ScriptedService(std::string name, std::vector<asio::ip::tcp::endpoint> endpoints,
                    bool resolves = true)
        : name_(std::move(name)), endpoints_(std::move(endpoints)), resolves_(resolves) {}

    std::string name() const override { return name_; }
    void resolve(std::chrono::milliseconds timeout) override {
        lastTimeout = timeout;
        asio::post(*loop, [self = shared_from_this()] {
            if (self->resolves_) {
                self->listener->serviceResolved(self);
            } else {
                self->listener->serviceDidNotResolve(self);
            }
        });
    }
    std::vector<asio::ip::tcp::endpoint> endpoints() const override { return endpoints_; }
    void stop() override {
        std::this_thread::sleep_for(stopTakes);
        ++stops;
    }

    // Set when the service is first reported; used on the client thread only.
    asio::io_context* loop = nullptr;
    ServiceDiscoveryListener* listener = nullptr;
    int stops = 0;
    // How long stop() blocks the client thread: a slow or stuck service.
    std::chrono::milliseconds stopTakes{0};
    std::chrono::milliseconds lastTimeout{0};

  private:
    std::string name_;
    std::vector<asio::ip::tcp::endpoint> endpoints_;
    bool resolves_;
};

class ScriptedDiscovery {
  public:
    // Calls made to the discovery, in order ("search <type> <domain>", "stop").
    std::vector<std::string> calls;
    // Reported as found from inside the first search, before the client thread runs.
    std::shared_ptr<ScriptedService> foundOnFirstSearch;
    std::atomic<bool> destroyed = false;

    ServiceDiscoveryFactory factory() {
        return [this](asio::io_context& loop, ServiceDiscoveryListener& listener) {
            loop_ = &loop;
            listener_ = &listener;
            return std::make_unique<Discovery>(*this);
        };
    }

    void found(std::shared_ptr<ScriptedService> service) {
        asio::post(*loop_, [this, service] { announce(service); });
    }
    void removed(std::shared_ptr<ScriptedService> service) {
        asio::post(*loop_, [this, service] { listener_->serviceRemoved(service); });
    }
    // Runs `read` on the client thread once everything posted there before has run.
    template <typename Read>
    auto onClientThread(Read read) {
        return onLoopThread(*loop_, std::move(read));
    }

  private:
    class Discovery final : public ServiceDiscovery {
      public:
        explicit Discovery(ScriptedDiscovery& script) : script_(script) {}
        ~Discovery() override { script_.destroyed = true; }
        void search(const std::string& type, const std::string& domain) override {
            script_.calls.push_back("search " + type + " " + domain);
            if (auto service = std::exchange(script_.foundOnFirstSearch, nullptr)) {
                script_.announce(service);
            }
        }
        void stop() override { script_.calls.push_back("stop"); }

      private:
        ScriptedDiscovery& script_;
    };

    void announce(const std::shared_ptr<ScriptedService>& service) {
        service->loop = loop_;
        service->listener = listener_;
        listener_->serviceFound(service);
    }

    asio::io_context* loop_ = nullptr;
    ServiceDiscoveryListener* listener_ = nullptr;
};

}  // namespace corvane::testing
