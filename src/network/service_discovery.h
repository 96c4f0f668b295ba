#pragma once

// The boundary to DNS-SD: browsing a service type, resolving a found service to its
// addresses, and stopping. Every call and every callback happens on the client thread, and
// nothing is reported from inside a call made to the discovery or to a service: reports
// come from the loop, so that the caller's own bookkeeping for a call comes first.

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

// One logical service (name, type, domain), however many interfaces and protocols it is
// seen on. While it is listed it is always reported as the same object; found again after
// its removal or after stop(), it is a new object.
class DiscoveredService {
  public:
    virtual ~DiscoveredService() = default;
    virtual std::string name() const = 0;
    // Starts resolving, ending any resolve or watch under way. Exactly one outcome is
    // reported: serviceResolved once endpoints() has at least one address, or
    // serviceDidNotResolve when none was found within `timeout`. After serviceResolved the
    // service goes on watching until stop() or the next resolve(): each time its set of
    // endpoints changes, once the change has settled, serviceResolved is reported again;
    // a set that becomes empty is not reported. A discovery that loses its backend (a
    // daemon restarting) keeps a resolve going within its timeout and resumes a watch
    // once the backend is back.
    virtual void resolve(std::chrono::milliseconds timeout) = 0;
    // Every address of the peer found by the last report, IPv4 and IPv6, each with the
    // service's port, without duplicates. An IPv6 link-local address carries the interface
    // it was seen on as its scope id: seen on two interfaces, it is two endpoints. No order
    // is promised; the caller chooses which to try first.
    virtual std::vector<asio::ip::tcp::endpoint> endpoints() const = 0;
    // Ends a resolve or watch in progress; nothing more is reported for it.
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
    // Browses for `type` in `domain` (empty: the default domains): each logical service is
    // reported found once, when first seen anywhere, and removed once, when seen nowhere
    // any more. Searching again while searching does nothing. Without its backend (no
    // daemon yet, or one restarting) it waits for it; a service that the backend, once
    // back, no longer lists within a few seconds is reported removed.
    virtual void search(const std::string& type, const std::string& domain) = 0;
    // Stops browsing; nothing more is found or removed. Services found so far are forgotten
    // without a removal; the caller stops those it holds.
    virtual void stop() = 0;
};

// Builds the discovery of a client on the client's loop; it reports to `listener`, and
// reports nothing once destroyed.
using ServiceDiscoveryFactory = std::function<std::unique_ptr<ServiceDiscovery>(
    asio::io_context& loop, ServiceDiscoveryListener& listener)>;

}  // namespace corvane
