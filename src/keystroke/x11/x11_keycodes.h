#pragma once

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace corvane::x11 {

// X keycodes fit in a byte: a keymap may name keys beyond 255, but no X request or reply
// can carry them. Every keycode bound of the X implementation comes from here.
inline constexpr std::size_t x11KeycodeCount = 256;

// A set of X keycodes, one bit each.
using X11KeySet = std::bitset<x11KeycodeCount>;

// The X keycode of an xkb keycode; nothing for one that no X request can carry.
inline std::optional<xcb_keycode_t> x11Keycode(xkb_keycode_t key) {
    if (key == XKB_KEYCODE_INVALID || key >= x11KeycodeCount) {
        return std::nullopt;
    }
    return static_cast<xcb_keycode_t>(key);
}

// The keys of a key vector as QueryKeymap and XInput answer it: one bit per keycode, the
// lowest keycode in the lowest bit of the first byte.
inline X11KeySet keySetFromVector(const std::uint8_t (&bytes)[x11KeycodeCount / 8]) {
    X11KeySet keys;
    for (std::size_t key = 0; key < x11KeycodeCount; ++key) {
        keys[key] = ((bytes[key / 8] >> (key % 8)) & 1U) != 0;
    }
    return keys;
}

}  // namespace corvane::x11
