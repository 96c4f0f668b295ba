#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "keystroke/shortcut_convention.h"

namespace corvane {

// The family of the frontmost target application.
enum class TargetFamily : std::uint8_t { sibelius, dorico };

// A supported notation program: which keys enter a command (its family) and how it reads
// the modifiers of a shortcut.
struct TargetApplication {
    TargetFamily family;
    ShortcutConvention shortcuts;
};

// The supported notation program with exactly this application id: a macOS bundle id, or
// the lower-cased file name that Wine gives a Windows program's windows as their class;
// nothing for any other application.
std::optional<TargetApplication> targetApplicationForBundle(std::string_view bundleIdentifier);

}  // namespace corvane
