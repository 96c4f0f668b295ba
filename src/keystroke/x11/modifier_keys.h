#pragma once

#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "keystroke/key_model.h"

namespace corvane::x11 {

// The modifier keys to hold down so that a key carries `flags`, in the order they are
// pressed: Control, Shift, Option (the key that gives ISO_Level3_Shift), Command (a
// Super key), each found by its keysym in the given group. Nothing when one of them is
// missing from the keymap.
std::optional<std::vector<xkb_keycode_t>> modifierKeysForFlags(xkb_keymap* keymap,
                                                               xkb_layout_index_t layoutIndex,
                                                               CGEventFlags flags);

// True when pressing `keycode` sets a modifier (Shift, Control, AltGr, Super, …).
bool isModifierKey(xkb_keymap* keymap, xkb_keycode_t keycode);

// The core modifier mask that NumLock locks (usually Mod2), or 0 without a NumLock key.
std::uint8_t numLockMask(xkb_keymap* keymap, xkb_layout_index_t layoutIndex);

// True when `keycode` is a keypad key in the group (its keysym is a KP_ one).
bool isKeypadKey(xkb_keymap* keymap, xkb_layout_index_t layoutIndex, xkb_keycode_t keycode);

}  // namespace corvane::x11
