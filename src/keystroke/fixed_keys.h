#pragma once

#include <cstdint>
#include <optional>

#include "keystroke/key_model.h"

namespace corvane {

// Virtual key code of the left Shift key, pressed once at start-up.
inline constexpr std::uint16_t leftShiftKeyCode = 56;

// The key pair of a fixed KeyType case; layout-independent. `key` must not be `string`.
KeyCodePair fixedKeyCodePair(const KeyType& key);

// The letter a fixed case names (small), for the cases that name one: the key of the
// fixed pair is where that letter sits on ANSI QWERTY.
std::optional<char16_t> fixedKeyLetter(const KeyType& key);

}  // namespace corvane
