#include "command/target_application.h"

#include <array>
#include <utility>

namespace corvane {

namespace {
constexpr TargetApplication sibeliusOnMac{TargetFamily::sibelius, macShortcuts};
constexpr TargetApplication doricoOnMac{TargetFamily::dorico, macShortcuts};
constexpr TargetApplication sibeliusOnWine{TargetFamily::sibelius, windowsShortcuts};
constexpr TargetApplication doricoOnWine{TargetFamily::dorico, windowsShortcuts};

constexpr std::array<std::pair<std::string_view, TargetApplication>, 10> targets = {{
    {"com.avid.sibelius", sibeliusOnMac},
    {"com.steinberg.dorico6", doricoOnMac},
    {"com.steinberg.dorico7", doricoOnMac},
    {"com.steinberg.dorico8", doricoOnMac},
    {"com.steinberg.dorico9", doricoOnMac},
    {"sibelius.exe", sibeliusOnWine},
    {"dorico6.exe", doricoOnWine},
    {"dorico7.exe", doricoOnWine},
    {"dorico8.exe", doricoOnWine},
    {"dorico9.exe", doricoOnWine},
}};
}  // namespace

std::optional<TargetApplication> targetApplicationForBundle(std::string_view bundleIdentifier) {
    for (const auto& [identifier, target] : targets) {
        if (identifier == bundleIdentifier) {
            return target;
        }
    }
    return std::nullopt;
}

}  // namespace corvane
