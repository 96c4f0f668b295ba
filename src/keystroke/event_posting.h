#pragma once

#include <cstdint>

#include "keystroke/key_model.h"
#include "keystroke/keyboard_events.h"

namespace corvane {

// Virtual key code of the left Shift key, pressed once at start-up.
inline constexpr std::uint16_t leftShiftKeyCode = 56;

// Posts one key-down and one key-up of `keyCode`, both carrying exactly `flags`.
void postKey(KeyboardEvents& events, std::uint16_t keyCode, CGEventFlags flags);

// Posts every pair of the sequence, depth first, back to back, as one command for a target
// with the given shortcut convention: nothing at all when the keyboard cannot type all of
// it as its flags say. False when nothing was posted.
bool postKeyCodeSequence(KeyboardEvents& events, const KeyCodeSequence& sequence,
                         ShortcutConvention shortcuts);

}  // namespace corvane
