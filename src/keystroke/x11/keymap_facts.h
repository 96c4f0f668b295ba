#pragma once

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <bitset>
#include <cstdint>

#include "keystroke/shortcut_convention.h"
#include "keystroke/xkb/xkb_keymap_layout.h"

namespace corvane::x11 {

// What typing a command needs to know of one group of the server's keymap, worked out
// once when the layout changes rather than for every key. Modifier masks are core ones
// (Shift 0x01, Lock 0x02, Control 0x04, Mod1 to Mod5 0x08 to 0x80).
class KeymapFacts {
  public:
    // Takes a reference to `keymap`.
    KeymapFacts(xkb_keymap* keymap, xkb_layout_index_t group);

    // The key that gives a modifier in the group (Control_L, Shift_L, Alt_L,
    // ISO_Level3_Shift, Super_L, or their right-hand twins), or XKB_KEYCODE_INVALID.
    xkb_keycode_t keyFor(ModifierKey modifier) const {
        return modifierKeys_[static_cast<std::size_t>(modifier)];
    }
    // The modifiers a key sets while it is held; 0 for a key that is no modifier.
    std::uint8_t modifiersSetBy(xkb_keycode_t key) const { return key < 256 ? setBy_[key] : 0; }
    // The modifier NumLock locks (usually Mod2), or 0 without a NumLock key.
    std::uint8_t numLockMask() const { return numLockMask_; }
    // True for a key whose first level is a keypad keysym (KP_*).
    bool isKeypadKey(xkb_keycode_t key) const { return key < 256 && keypad_[key]; }

    // A modifier that, locked while `key` is pressed beside the `held` modifiers, keeps the
    // server from taking the press for itself: the default keymap gives keypad plus and
    // minus a Control+Alt level whose keysym switches the video mode, and the server
    // swallows that press. 0 when the press reaches the applications as it is, or when no
    // lock helps.
    std::uint8_t lockToDeliver(xkb_keycode_t key, std::uint8_t held, std::uint8_t locked) const;

  private:
    xkb_keysym_t keysym(xkb_keycode_t key, std::uint8_t depressed, std::uint8_t locked) const;

    xkb::KeymapPtr keymap_;
    xkb_layout_index_t group_;
    // For the level questions; reset for each.
    xkb::StatePtr scratch_;
    std::array<xkb_keycode_t, modifierKeyCount> modifierKeys_{};
    std::array<std::uint8_t, 256> setBy_{};
    std::bitset<256> keypad_;
    std::uint8_t numLockMask_ = 0;
};

}  // namespace corvane::x11
