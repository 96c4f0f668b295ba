#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

// The family of the frontmost target application.
enum class TargetFamily : std::uint8_t { sibelius, dorico };

// The family of a supported notation program, by exact application id; nothing for
// any other application.
std::optional<TargetFamily> targetFamilyForBundle(std::string_view bundleIdentifier);

}  // namespace corvane
