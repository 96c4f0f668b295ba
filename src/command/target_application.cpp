#include "command/target_application.h"

#include <array>
#include <utility>

namespace corvane {

namespace {
constexpr std::array<std::pair<std::string_view, TargetFamily>, 5> targets = {{
    {"com.avid.sibelius", TargetFamily::sibelius},
    {"com.steinberg.dorico6", TargetFamily::dorico},
    {"com.steinberg.dorico7", TargetFamily::dorico},
    {"com.steinberg.dorico8", TargetFamily::dorico},
    {"com.steinberg.dorico9", TargetFamily::dorico},
}};
}  // namespace

std::optional<TargetFamily> targetFamilyForBundle(std::string_view bundleIdentifier) {
    for (const auto& [identifier, family] : targets) {
        if (identifier == bundleIdentifier) {
            return family;
        }
    }
    return std::nullopt;
}

}  // namespace corvane
