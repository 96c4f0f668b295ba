#pragma once

#include <cstdint>
#include <optional>

#include "keystroke/key_model.h"
#include "keystroke/keyboard_layout.h"

namespace corvane {

// Event flags for an Event Manager modifier state, as the character lookup reports it.
CGEventFlags eventFlagsForModifierState(std::uint32_t modifierState);

// The key codes and flags of a key sequence on the current layout, in the same shape
// and order; nothing when any text item cannot be typed on it.
std::optional<KeyCodeSequence> resolveKeySequence(KeyboardLayoutSource& layouts,
                                                  const KeySequence& sequence);

}  // namespace corvane
