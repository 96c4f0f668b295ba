#pragma once

// A network of the test's own, where multicast DNS reaches no other machine, the
// platform's list of its interfaces, and the built-in browser on its `lo`.

#include <gtest/gtest.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "network/mdns/mdns_discovery.h"
#include "network/mdns/network_interfaces.h"
#include "support/asio_loop.h"

#ifdef _WIN32
#include <cstdlib>

#include "network/mdns/win32/adapter_interfaces.h"
#else
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "network/mdns/posix/posix_interfaces.h"
#endif

namespace corvane::testing {

// On Linux, moves the calling thread, which must be the test's only one, to a new network
// namespace with only `lo`, up (as root). Under Wine the test is already in one when the
// Windows session has one (windows-session run-networked), since Wine's sockets are the
// wineserver's. Returns why the test cannot run, or nothing once it is in its own network.
inline std::optional<std::string> enterOwnNetwork() {
#ifdef _WIN32
    if (std::getenv("CORVANE_OWN_NETWORK") == nullptr) {
        return "needs a Windows session with a network of its own";
    }
#else
    if (geteuid() != 0) {
        return "needs root for a network namespace of its own";
    }
    if (unshare(CLONE_NEWNET) != 0) {
        return std::string("no network namespace: ") + std::strerror(errno);
    }
    const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq request{};
    std::strcpy(request.ifr_name, "lo");
    request.ifr_flags = IFF_UP;
    const bool up = ioctl(control, SIOCSIFFLAGS, &request) == 0;
    close(control);
    if (!up) {
        return std::string("lo stays down: ") + std::strerror(errno);
    }
#endif
    return std::nullopt;
}

inline std::vector<mdns::NetworkInterface> listInterfaces() {
#ifdef _WIN32
    return mdns::win32::listNetworkInterfaces();
#else
    return mdns::posix::listNetworkInterfaces();
#endif
}

// A test in a network of its own (skipped where it cannot have one) that browses with the
// built-in browser on `lo`, on the test's loop, and resolves every service found.
class BrowsingOnLoTest : public ::testing::Test, public ServiceDiscoveryListener {
  protected:
    using Endpoints = std::vector<asio::ip::tcp::endpoint>;

    void SetUp() override {
        if (const std::optional<std::string> why = enterOwnNetwork()) {
            GTEST_SKIP() << *why;
        }
    }
    void startBrowsing() {
        const auto say = [this](const std::string& line) { said.push_back(line); };
        discovery = mdns::mdnsDiscovery({listInterfaces, {"lo"}, say})(loop, *this);
        discovery->search("_corvane2._tcp", "");
    }
    bool runUntil(const std::function<bool()>& done) {
        return runLoopUntil(loop, done, std::chrono::seconds(10));
    }

    void serviceFound(const std::shared_ptr<DiscoveredService>& service) override {
        service->resolve(std::chrono::seconds(5));
    }
    void serviceRemoved(const std::shared_ptr<DiscoveredService>& service) override {
        removed.push_back(service->name());
    }
    void serviceResolved(const std::shared_ptr<DiscoveredService>& service) override {
        Endpoints endpoints = service->endpoints();
        std::ranges::sort(endpoints);
        resolved[service->name()] = endpoints;
        ++resolutions;
    }
    void serviceDidNotResolve(const std::shared_ptr<DiscoveredService>&) override {}

    asio::io_context loop;
    asio::executor_work_guard<asio::io_context::executor_type> busy{loop.get_executor()};
    // What the browser, and anything else the test lets speak, said.
    std::vector<std::string> said;
    std::unique_ptr<ServiceDiscovery> discovery;
    // The sorted endpoints of each service's last resolve, and how many resolves were told.
    std::map<std::string, Endpoints> resolved;
    int resolutions = 0;
    std::vector<std::string> removed;
};

}  // namespace corvane::testing
