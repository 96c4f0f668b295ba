#pragma once

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <memory>

#include "keystroke/keyboard_layout.h"

namespace corvane::xkb {

// Owning handles for xkbcommon objects.
struct KeymapUnref {
    void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
};
struct StateUnref {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};
struct ContextUnref {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
using KeymapPtr = std::unique_ptr<xkb_keymap, KeymapUnref>;
using StatePtr = std::unique_ptr<xkb_state, StateUnref>;
using ContextPtr = std::unique_ptr<xkb_context, ContextUnref>;

// The first keycode whose first level in `layoutIndex` gives `keysym`, or
// XKB_KEYCODE_INVALID when no key of the keymap gives it.
xkb_keycode_t findKeycodeForKeysym(xkb_keymap* keymap, xkb_layout_index_t layoutIndex,
                                   xkb_keysym_t keysym);

// One group of a compiled xkb keymap as a keyboard layout. Shift is the Shift
// modifier, Option is ISO Level 3 (AltGr), Control and Command are Control and Super;
// Caps Lock and NumLock are off unless asked for. A dead key yields no text.
class XkbKeymapLayout final : public KeyboardLayout {
  public:
    // Takes a reference to `keymap`.
    XkbKeymapLayout(xkb_keymap* keymap, xkb_layout_index_t layoutIndex);

    bool translate(std::uint16_t virtualKeyCode, std::uint8_t modifierKeyState,
                   std::uint8_t keyboardType, std::uint32_t& deadKeyState,
                   std::span<char16_t> output, std::size_t& length) override;

    // xkb knows no keyboard types; one fixed value stands for every keyboard.
    std::uint8_t keyboardType() const override { return 0; }

    xkb_keymap* keymap() const { return keymap_.get(); }
    xkb_layout_index_t layoutIndex() const { return layoutIndex_; }

  private:
    // One xkb state per combination of the five modifier-key-state bits, made on use.
    xkb_state* stateFor(std::uint8_t modifierKeyState);

    KeymapPtr keymap_;
    xkb_layout_index_t layoutIndex_;
    bool hasLevelThree_;
    std::array<StatePtr, 32> states_;
};

}  // namespace corvane::xkb
