#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "keystroke/keyboard_layout.h"

namespace corvane {

// Event Manager modifier bits, as in the state the lookup reports.
namespace ModifierState {
inline constexpr std::uint32_t command = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t option = 0x800;
inline constexpr std::uint32_t control = 0x1000;
}  // namespace ModifierState

// Finds a key and modifier state that produce exactly `text` on the current layout,
// trying a fixed list of candidate keys in four modifier states, first match wins.
// On success writes the virtual key code and the modifier state and returns true;
// otherwise returns false and leaves both outputs as they were.
bool keyCodeForString(KeyboardLayoutSource& layouts, std::u16string_view text,
                      std::uint16_t& keyCode, std::uint32_t& modifierState);

// The key that gives the ASCII letter `lowercase`, small or capital, without Option, on
// the current layout: the same candidate keys in the same order, first match wins.
// Nothing when no key of the layout has it (a non-Latin layout) or there is no layout.
std::optional<std::uint16_t> keyCodeForLetter(KeyboardLayoutSource& layouts, char16_t lowercase);

}  // namespace corvane
