#pragma once

// A service discovery driven by the test: the test reports found, removed and resolved
// services, and each service answers a resolve as scripted. Events are run on the
// client's loop, as the real discovery's are.

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "network/service_discovery.h"
#include "support/on_loop_thread.h"

namespace corvane::testing {

class ScriptedService final : public DiscoveredService,
                              public std::enable_shared_from_this<ScriptedService> {
  public:
    enum class Answer { endpoint, failure, never };

    ScriptedService(std::string name, Answer answer,
                    std::optional<asio::ip::tcp::endpoint> endpoint = std::nullopt)
        : name_(std::move(name)), answer_(answer), endpoint_(endpoint) {}

    std::string name() const override { return name_; }
    void resolve(std::chrono::milliseconds timeout) override {
        ++resolves;
        lastTimeout = timeout;
        if (answer_ == Answer::never || listener == nullptr) {
            return;
        }
        asio::post(*loop, [self = shared_from_this()] {
            if (self->answer_ == Answer::endpoint) {
                self->listener->serviceResolved(self);
            } else {
                self->listener->serviceDidNotResolve(self);
            }
        });
    }
    std::optional<asio::ip::tcp::endpoint> endpoint() const override { return endpoint_; }
    void stop() override { ++stops; }

    // Set by the discovery when the service is reported; client thread from then on.
    asio::io_context* loop = nullptr;
    ServiceDiscoveryListener* listener = nullptr;
    int resolves = 0;
    int stops = 0;
    std::chrono::milliseconds lastTimeout{0};

  private:
    std::string name_;
    Answer answer_;
    std::optional<asio::ip::tcp::endpoint> endpoint_;
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

    void found(const std::shared_ptr<ScriptedService>& service) {
        run([this, service] { announce(service); });
    }
    void removed(const std::shared_ptr<ScriptedService>& service) {
        run([this, service] { listener_->serviceRemoved(service); });
    }
    void resolved(const std::shared_ptr<ScriptedService>& service) {
        run([this, service] { listener_->serviceResolved(service); });
    }

    // Runs `read` on the client thread once everything posted before it has run there,
    // and returns its result.
    template <typename Read>
    std::invoke_result_t<Read> onClientThread(Read read) {
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
    template <typename Work>
    void run(Work work) {
        asio::post(*loop_, std::move(work));
    }

    asio::io_context* loop_ = nullptr;
    ServiceDiscoveryListener* listener_ = nullptr;
};

}  // namespace corvane::testing
