#pragma once

#include <optional>
#include <string_view>

#include "keystroke/key_model.h"

namespace corvane {

// The family of a supported notation program, by exact application id; nothing for
// any other application.
std::optional<TargetFamily> targetFamilyForBundle(std::string_view bundleIdentifier);

}  // namespace corvane
