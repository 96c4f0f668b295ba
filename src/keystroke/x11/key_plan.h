#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <vector>

#include "keystroke/key_model.h"
#include "keystroke/shortcut_convention.h"
#include "keystroke/x11/keymap_facts.h"

namespace corvane::x11 {

// One request of a command as the X server is to get it.
struct KeyStep {
    // A pause sends what came before and gives the application time to read it.
    enum class Kind : std::uint8_t { press, release, lock, unlock, pause } kind;
    // The key pressed or released, or the core modifiers locked or unlocked.
    std::uint8_t code;
    bool operator==(const KeyStep&) const = default;
};

// Every request that types a command, or why it cannot be typed.
struct KeyPlan {
    std::vector<KeyStep> steps;
    const char* refusal = nullptr;
};

// The plan for `pairs` on `keys` (their X keycodes) on a keymap as `facts` describe it,
// with `userLocks` locked. `userHeld` are the modifier keys the user holds through XTest:
// let go of first and pressed again last.
//
// Every lock but NumLock is off for the whole command, so each key gives the level the
// character lookup saw; NumLock is on for a keypad key and off for any other (kept as the
// user has it, for a target that takes lock changes for key presses). Each key-down
// presses the modifier keys its flags name by the convention (a character's by the
// layout's own) and its key-up lets go of them. At the end the locks are the user's
// again. Locks change through lock requests, so no lock key is seen. Under Wine a
// character typed with the third level has a pause before and after it.
KeyPlan planCommand(const std::vector<KeyCodePair>& pairs, const std::vector<xcb_keycode_t>& keys,
                    ShortcutConvention shortcuts, const KeymapFacts& facts, std::uint8_t userLocks,
                    const std::vector<xcb_keycode_t>& userHeld);

}  // namespace corvane::x11
