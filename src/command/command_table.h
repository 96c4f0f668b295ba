#pragma once

#include <cstdint>
#include <optional>

#include "command/target_application.h"
#include "keystroke/key_model.h"

namespace corvane {

// The keys that enter a command word in the given target family, or nothing when the
// word has no meaning for that family. A result is always a one-level `multiple`.
std::optional<KeySequence> keySequenceForCommand(std::uint32_t commandWord, TargetFamily family);

}  // namespace corvane
