#pragma once

#include <cstdint>
#include <optional>

namespace corvane::xkb {

// The Linux evdev code of the key at the position a macOS virtual key code names, or
// nothing for a code without a counterpart. The xkb keycode is the evdev code + 8.
std::optional<std::uint16_t> evdevCodeForVirtualKey(std::uint16_t virtualKeyCode);

// The xkb keycode of the key at the position a macOS virtual key code names.
std::optional<std::uint32_t> xkbKeycodeForVirtualKey(std::uint16_t virtualKeyCode);

}  // namespace corvane::xkb
