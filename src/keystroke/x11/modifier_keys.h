#pragma once

#include <xkbcommon/xkbcommon.h>

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

}  // namespace corvane::x11
