#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

#include "keystroke/key_model.h"
#include "keystroke/shortcut_convention.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"

namespace corvane::x11 {

// One request of a command as the X server is to get it.
struct KeyStep {
    enum class Kind : std::uint8_t { press, release, lock, unlock } kind;
    // The key pressed or released, or the core modifiers locked or unlocked.
    std::uint8_t code;
};

// Every request that types a command, or why it cannot be typed.
struct KeyPlan {
    std::vector<KeyStep> steps;
    const char* refusal = nullptr;
};

// The plan for `pairs` on `keys` (their X keycodes) on the keyboard as `keyboard` shows
// it. `userHeld` are the modifier keys the user holds through XTest: let go of first and
// pressed again last. Caps Lock is off for the command; each key-down presses the modifier
// keys its flags name by the convention (a character's by the layout's own), with NumLock
// on for a keypad key and off for any other (as the user has it, for a target that takes
// lock changes for key presses), and its key-up lets go of them; at the end the locks are
// the user's again. Locks change through lock requests, so no Caps Lock or NumLock key is
// seen.
KeyPlan planCommand(const std::vector<KeyCodePair>& pairs, const std::vector<xcb_keycode_t>& keys,
                    ShortcutConvention shortcuts, const KeyboardSnapshot& keyboard,
                    const std::vector<xcb_keycode_t>& userHeld);

}  // namespace corvane::x11
