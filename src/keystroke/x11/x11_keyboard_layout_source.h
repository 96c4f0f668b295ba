#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "keystroke/keyboard_layout.h"
#include "keystroke/xkb/xkb_keymap_layout.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {

// The keyboard as the X server has it at one moment.
struct KeyboardSnapshot {
    // The server's keymap in its effective group.
    std::shared_ptr<xkb::XkbKeymapLayout> layout;
    // Core modifier masks (Shift 0x01, Lock 0x02, Control 0x04, Mod1 to Mod5 0x08 to 0x80).
    std::uint8_t depressedModifiers = 0;
    std::uint8_t lockedModifiers = 0;
};

// The layout the user has selected right now on the X server, through xkbcommon-x11.
// The compiled keymap is kept until the server announces a new one (XKB
// NewKeyboardNotify or MapNotify); the group is read from the server on every call.
// Each call makes one round trip first, so a change made just before it is seen.
class X11KeyboardLayoutSource final : public KeyboardLayoutSource {
  public:
    explicit X11KeyboardLayoutSource(X11Connection& connection);

    std::shared_ptr<KeyboardLayout> currentLayout() override { return currentKeymapLayout(); }
    std::shared_ptr<xkb::XkbKeymapLayout> currentKeymapLayout();
    // The layout and the modifier state; nothing without an X server or XKB.
    std::optional<KeyboardSnapshot> snapshot();

    // The XKB id of the core keyboard, or -1 without XKB.
    std::int32_t deviceId() const { return deviceId_; }

  private:
    // Reads every pending event; true when one of them announced a new keymap.
    bool drainKeymapChanges();

    X11Connection& connection_;
    xkb::ContextPtr context_;
    std::int32_t deviceId_ = -1;
    std::uint8_t xkbEventBase_ = 0;
    xkb::KeymapPtr keymap_;
    std::shared_ptr<xkb::XkbKeymapLayout> layout_;
};

}  // namespace corvane::x11
