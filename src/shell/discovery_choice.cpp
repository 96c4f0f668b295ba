#include "shell/discovery_choice.h"

namespace corvane {

std::string browsingInterfaces(const DiscoveryChoice& choice) {
    if (choice.interfaces.empty()) {
        return "every network interface";
    }
    std::string names;
    for (const std::string& name : choice.interfaces) {
        names += (names.empty() ? "" : ", ") + name;
    }
    return names;
}

}  // namespace corvane
