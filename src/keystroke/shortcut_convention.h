#pragma once

#include <bitset>
#include <cstdint>

#include "keystroke/key_model.h"

namespace corvane {

// A modifier key as a target application reads it, in the order they are pressed.
enum class ModifierKey : std::uint8_t { control, shift, alt, levelThree, super };
inline constexpr std::size_t modifierKeyCount = 5;
using ModifierKeys = std::bitset<modifierKeyCount>;

// Which modifier keys carry the Command and Option flags of a target's shortcuts, and
// whether the target reads its keys through Wine.
struct ShortcutConvention {
    ModifierKey command;
    ModifierKey option;
    // Wine takes every change of a lock for a press of the lock key, so NumLock is changed
    // only for the keys that need it. And it works out a character's third level from the
    // last X key event it has read, not from the key's own: a character typed with the
    // third level is given time of its own, or a burst of keys would change it. Windows itself
    // needs neither: SendInput puts keys in its own input queue, in order, each with its state.
    bool wine = false;
    bool operator==(const ShortcutConvention&) const = default;
};

// A macOS program: Command is Super, Option the key that gives the third level.
inline constexpr ShortcutConvention macShortcuts{ModifierKey::super, ModifierKey::levelThree};
// A Windows program under Wine: Ctrl where macOS writes Command, Alt where it writes
// Option.
inline constexpr ShortcutConvention windowsShortcuts{ModifierKey::control, ModifierKey::alt, true};
// A character is typed as the keyboard layout needs it, whatever the target: the
// layout's Option is its third level.
inline constexpr ShortcutConvention layoutModifiers = macShortcuts;

// The modifier keys that give `flags` under a convention.
inline ModifierKeys modifierKeysFor(CGEventFlags flags, ShortcutConvention convention) {
    ModifierKeys keys;
    const auto add = [&keys](ModifierKey key) { keys.set(static_cast<std::size_t>(key)); };
    if ((flags & EventFlags::shift) != 0) {
        add(ModifierKey::shift);
    }
    if ((flags & EventFlags::control) != 0) {
        add(ModifierKey::control);
    }
    if ((flags & EventFlags::option) != 0) {
        add(convention.option);
    }
    if ((flags & EventFlags::command) != 0) {
        add(convention.command);
    }
    return keys;
}

}  // namespace corvane
