#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "keystroke/keyboard_layout.h"
#include "keystroke/x11/keymap_facts.h"
#include "keystroke/x11/x11_keycodes.h"
#include "keystroke/xkb/xkb_keymap_layout.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {

// The keyboard as the X server has it at one moment.
struct KeyboardSnapshot {
    // The server's keymap in its effective group, and what typing needs to know of it.
    std::shared_ptr<xkb::XkbKeymapLayout> layout;
    std::shared_ptr<const KeymapFacts> facts;
    // Core modifier masks (Shift 0x01, Lock 0x02, Control 0x04, Mod1 to Mod5 0x08 to 0x80).
    std::uint8_t depressedModifiers = 0;
    std::uint8_t lockedModifiers = 0;
    X11KeySet keysDown;
};

// The layout the user has selected right now on the X server, through xkbcommon-x11.
// The compiled keymap is kept until the server announces a new one (XKB
// NewKeyboardNotify or MapNotify); the group, the modifiers and the keys down are read
// in one round trip, so a change made just before is seen. From beginCommand to the
// matching endCommand (they nest) that one look serves every question.
class X11KeyboardLayoutSource final : public KeyboardLayoutSource {
  public:
    explicit X11KeyboardLayoutSource(X11Connection& connection);

    std::shared_ptr<KeyboardLayout> currentLayout() override;
    void beginCommand() override;
    void endCommand() override;
    // The keyboard as the command under way saw it, or now outside a command; nothing
    // without an X server or XKB, or with a keymap that does not compile.
    std::optional<KeyboardSnapshot> snapshot();

    // The XKB id of the core keyboard, or -1 without XKB.
    std::int32_t deviceId() const { return deviceId_; }

  private:
    // Asks the server; nothing when it cannot say.
    std::optional<KeyboardSnapshot> look();
    // Reads every pending event; true when one of them announced a new keymap.
    bool drainKeymapChanges();

    X11Connection& connection_;
    xkb::ContextPtr context_;
    std::int32_t deviceId_ = -1;
    std::uint8_t xkbEventBase_ = 0;
    xkb::KeymapPtr keymap_;
    std::shared_ptr<xkb::XkbKeymapLayout> layout_;
    std::shared_ptr<const KeymapFacts> facts_;  // of layout_
    // How many commands are under way (nested), and the look they share.
    int commandDepth_ = 0;
    std::optional<KeyboardSnapshot> commandLook_;
};

}  // namespace corvane::x11
