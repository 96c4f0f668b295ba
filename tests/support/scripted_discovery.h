#pragma once

// A service discovery driven by the test: the test reports services found and removed, and
// each service answers a resolve as scripted. Everything is reported on the client's loop,
// as the real discovery does; inOrder() fixes how reports interleave with the client's
// own hand-offs.

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <chrono>
#include <future>
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
                    bool succeeds = true)
        : name_(std::move(name)), endpoints_(std::move(endpoints)), succeeds_(succeeds) {}

    std::string name() const override { return name_; }
    void resolve(std::chrono::milliseconds) override {
        ++resolveCalls;
        if (!answersHeld) {
            asio::post(*loop, [self = shared_from_this()] { self->answer(); });
        }
    }
    std::vector<asio::ip::tcp::endpoint> endpoints() const override { return endpoints_; }
    void stop() override {
        std::this_thread::sleep_for(stopTakes);
        ++stops;
    }

    // Reports the outcome of a resolve (with `endpoints` from now on).
    void answer(std::vector<asio::ip::tcp::endpoint> endpoints) {
        endpoints_ = std::move(endpoints);
        answer();
    }
    void answer() {
        if (succeeds_) {
            listener->serviceResolved(shared_from_this());
        } else {
            listener->serviceDidNotResolve(shared_from_this());
        }
    }

    // Set before it is reported: resolves are answered only by answer(), as the test says.
    bool answersHeld = false;
    // Set when the service is first reported; the rest is used on the client thread only.
    asio::io_context* loop = nullptr;
    ServiceDiscoveryListener* listener = nullptr;
    int resolveCalls = 0;
    int stops = 0;
    // How long stop() blocks the client thread: a slow or stuck service.
    std::chrono::milliseconds stopTakes{0};

  private:
    std::string name_;
    std::vector<asio::ip::tcp::endpoint> endpoints_;
    bool succeeds_;
};

class ScriptedDiscovery {
  public:
    // Calls made to the discovery, in order ("search <type> <domain>", "stop").
    std::vector<std::string> calls;
    std::atomic<bool> destroyed = false;

    ServiceDiscoveryFactory factory() {
        return [this](asio::io_context& loop, ServiceDiscoveryListener& listener) {
            loop_ = &loop;
            listener_ = &listener;
            return std::make_unique<Discovery>(*this);
        };
    }

    void found(std::shared_ptr<ScriptedService> service) {
        asio::post(*loop_, [this, service] {
            service->loop = loop_;
            service->listener = listener_;
            listener_->serviceFound(service);
        });
    }
    void removed(std::shared_ptr<ScriptedService> service) {
        asio::post(*loop_, [this, service] { listener_->serviceRemoved(service); });
    }
    // `service` answers its resolve, or reports a change as a watch does.
    void answer(std::shared_ptr<ScriptedService> service) {
        asio::post(*loop_, [service] { service->answer(); });
    }
    void answer(std::shared_ptr<ScriptedService> service,
                std::vector<asio::ip::tcp::endpoint> endpoints) {
        asio::post(*loop_, [service, endpoints] { service->answer(endpoints); });
    }
    // Holds the client thread while `post` hands it work (reports above, or the client's
    // own hand-offs), so that the work runs in the order posted with nothing between.
    template <typename Post>
    void inOrder(Post post) {
        std::promise<void> posted;
        asio::post(*loop_, [done = posted.get_future()]() mutable { done.wait(); });
        post();
        posted.set_value();
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
        }
        void stop() override { script_.calls.push_back("stop"); }

      private:
        ScriptedDiscovery& script_;
    };

    asio::io_context* loop_ = nullptr;
    ServiceDiscoveryListener* listener_ = nullptr;
};

}  // namespace corvane::testing
