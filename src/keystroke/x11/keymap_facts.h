#pragma once

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <cstdint>
#include <optional>

#include "keystroke/shortcut_convention.h"
#include "keystroke/x11/x11_keycodes.h"
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
    // ISO_Level3_Shift, Super_L, or their right-hand twins); nothing without one.
    std::optional<xcb_keycode_t> keyFor(ModifierKey modifier) const {
        return modifierKeys_[static_cast<std::size_t>(modifier)];
    }
    // The modifiers a key sets while it is held; 0 for a key that is no modifier.
    std::uint8_t modifiersSetBy(xcb_keycode_t key) const { return setBy_[key]; }
    // The modifier NumLock locks (usually Mod2), or 0 without a NumLock key.
    std::uint8_t numLockMask() const { return numLockMask_; }
    // True for a key whose first level is a keypad keysym (KP_*).
    bool isKeypadKey(xcb_keycode_t key) const { return keypad_[key]; }

    // How a key whose level the server keeps for itself gets through: the default keymap
    // gives keypad plus (Sibelius's divider) and minus a Control+Alt level whose keysym
    // switches the video mode, and the server swallows that press. A modifier that the
    // key's type counts but that is neither `held` nor `locked` moves the press off that
    // level when it is locked just for the press; Shift is tried first, as keypad keys
    // give the same keysym with it. 0 when the press reaches the applications as it is;
    // nothing when the server would take it whatever is locked.
    std::optional<std::uint8_t> lockThatDelivers(xcb_keycode_t key, std::uint8_t held,
                                                 std::uint8_t locked) const;

  private:
    xkb_keysym_t keysym(xcb_keycode_t key, std::uint8_t depressed, std::uint8_t locked) const;

    xkb::KeymapPtr keymap_;
    xkb_layout_index_t group_;
    // For the level questions; reset for each.
    xkb::StatePtr scratch_;
    std::array<std::optional<xcb_keycode_t>, modifierKeyCount> modifierKeys_{};
    std::array<std::uint8_t, x11KeycodeCount> setBy_{};
    X11KeySet keypad_;
    std::uint8_t numLockMask_ = 0;
};

}  // namespace corvane::x11
