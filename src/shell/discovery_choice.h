#pragma once

#include <string>
#include <vector>

namespace corvane {

// How the user asked peers to be found.
struct DiscoveryChoice {
    enum class Kind {
        // avahi-daemon when it answers, else the built-in browser.
        automatic,
        avahi,
        builtin,
    };
    Kind kind = Kind::automatic;
    // The built-in browser's interfaces; empty: every multicast-capable one.
    std::vector<std::string> interfaces;
    bool operator==(const DiscoveryChoice&) const = default;
};

// Where the built-in browser asks, for the line that says so: "every network interface",
// or the names chosen ("lo, eth0").
std::string browsingInterfaces(const DiscoveryChoice& choice);

}  // namespace corvane
