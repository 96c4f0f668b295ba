#pragma once

// The boundary to DNS-SD: browsing a service type, resolving a found service to an
// address, and stopping. Every call and every callback happens on the client thread.

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// One logical service (name, type, domain), however many interfaces and protocols it is
// seen on. The same service is always reported as the same object.
class DiscoveredService {
  public:
    virtual ~DiscoveredService() = default;
    virtual std::string name() const = 0;
    // Starts resolving; the outcome arrives as serviceResolved or serviceDidNotResolve.
    // A resolve that has not answered within `timeout` has failed.
    virtual void resolve(std::chrono::milliseconds timeout) = 0;
    // The addresses and port found by the last successful resolve, in the order to try
    // them: a peer may listen on one address family only.
    virtual std::vector<asio::ip::tcp::endpoint> endpoints() const = 0;
    // Ends a resolve in progress; nothing more is reported for it.
    virtual void stop() = 0;
};

class ServiceDiscoveryListener {
  public:
    virtual void serviceFound(const std::shared_ptr<DiscoveredService>& service) = 0;
    virtual void serviceRemoved(const std::shared_ptr<DiscoveredService>& service) = 0;
    virtual void serviceResolved(const std::shared_ptr<DiscoveredService>& service) = 0;
    virtual void serviceDidNotResolve(const std::shared_ptr<DiscoveredService>& service) = 0;

  protected:
    ~ServiceDiscoveryListener() = default;
};

class ServiceDiscovery {
  public:
    virtual ~ServiceDiscovery() = default;
    // Browses for `type` in `domain` (empty: the default domains). Searching again while
    // searching does nothing.
    virtual void search(const std::string& type, const std::string& domain) = 0;
    // Stops browsing; services found so far are forgotten.
    virtual void stop() = 0;
};

// Builds the discovery of a client on the client's loop; it reports to `listener`.
using ServiceDiscoveryFactory = std::function<std::unique_ptr<ServiceDiscovery>(
    asio::io_context& loop, ServiceDiscoveryListener& listener)>;

}  // namespace corvane
