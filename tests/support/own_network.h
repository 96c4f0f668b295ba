#pragma once

// A network of the test's own, where multicast DNS reaches no other machine, and the
// platform's list of its interfaces.

#include <optional>
#include <string>
#include <vector>

#include "network/mdns/network_interfaces.h"

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

}  // namespace corvane::testing
