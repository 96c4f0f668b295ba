#pragma once

// A discovery passed through on its way to the client, telling the test what it reports
// as lines "found NAME", "removed NAME", "resolved NAME" and "unresolved NAME", in order,
// on the test's main thread.

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "network/service_discovery.h"

namespace corvane::testing {

class Witness {
  public:
    explicit Witness(asio::io_context& mainLoop) : mainLoop_(mainLoop) {}

    // Main thread: the lines so far, when each was reported, and how many are `line`.
    std::vector<std::string> lines;
    std::vector<std::chrono::steady_clock::time_point> times;
    std::size_t count(const std::string& line) const {
        return std::size_t(std::ranges::count(lines, line));
    }
    // Runs on the client thread as a service is found, before the client hears of it; set
    // before the client starts.
    std::function<void(const std::string& name)> beforeFound;

    // The discovery `real` makes, passed through this witness.
    ServiceDiscoveryFactory wrap(ServiceDiscoveryFactory real) {
        return [this, real](asio::io_context& loop, ServiceDiscoveryListener& client) {
            return std::make_unique<Discovery>(*this, real, loop, client);
        };
    }

  private:
    using Service = std::shared_ptr<DiscoveredService>;

    class Discovery final : public ServiceDiscovery, private ServiceDiscoveryListener {
      public:
        Discovery(Witness& witness, const ServiceDiscoveryFactory& real, asio::io_context& loop,
                  ServiceDiscoveryListener& client)
            : witness_(witness), client_(client), real_(real(loop, *this)) {}
        void search(const std::string& type, const std::string& domain) override {
            real_->search(type, domain);
        }
        void stop() override { real_->stop(); }

      private:
        void serviceFound(const Service& service) override {
            witness_.note("found " + service->name());
            if (witness_.beforeFound) {
                witness_.beforeFound(service->name());
            }
            client_.serviceFound(service);
        }
        void serviceRemoved(const Service& service) override {
            witness_.note("removed " + service->name());
            client_.serviceRemoved(service);
        }
        void serviceResolved(const Service& service) override {
            witness_.note("resolved " + service->name());
            client_.serviceResolved(service);
        }
        void serviceDidNotResolve(const Service& service) override {
            witness_.note("unresolved " + service->name());
            client_.serviceDidNotResolve(service);
        }

        Witness& witness_;
        ServiceDiscoveryListener& client_;
        std::unique_ptr<ServiceDiscovery> real_;
    };

    void note(std::string line) {
        asio::post(mainLoop_,
                   [this, line = std::move(line), at = std::chrono::steady_clock::now()] {
                       lines.push_back(line);
                       times.push_back(at);
                   });
    }

    asio::io_context& mainLoop_;
};

}  // namespace corvane::testing
