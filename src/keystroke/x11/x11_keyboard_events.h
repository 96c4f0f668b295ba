#pragma once

#include <xcb/xcb.h>

#include <memory>
#include <optional>
#include <vector>

#include "keystroke/keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {

// Posts key events through XTest. A command is typed in one go from one look at the
// keyboard: before its first key the modifiers the user holds are let go and Caps Lock
// is unlocked, each key-down presses the modifier keys its flags name (found in the
// current keymap) with NumLock on for a keypad key and off for any other, and each key-up
// lets go of them;
// after the last key the user's keys and locks are restored and everything is sent at
// once. So the application sees exactly the flags' modifiers, and nothing stays held.
// A key posted outside a command is a command of its own.
class X11KeyboardEvents final : public KeyboardEvents {
  public:
    // Says on the connection's diagnostics when the server has no XTEST.
    X11KeyboardEvents(X11Connection& connection, X11KeyboardLayoutSource& layouts);

    // Nothing without a working X connection or without XTEST.
    std::unique_ptr<KeyboardEventSource> createSource() override;
    // False, with a message, when a flag's modifier key is missing from the keymap or a
    // modifier is held on a physical keyboard, where XTest cannot let go of it.
    bool beginCommand(const KeyCodeSequence& keys) override;
    void endCommand() override;

    // For the event sources: within a command, one key down and up.
    bool inCommand() const { return command_.has_value(); }
    void pressKey(xcb_keycode_t key, CGEventFlags flags);
    void releaseKey();

  private:
    // What beginCommand changed and endCommand undoes.
    struct Command {
        std::optional<KeyboardSnapshot> keyboard;
        std::vector<xcb_keycode_t> userModifiersReleased;
        bool capsLockUnlocked = false;
        // NumLock's modifier (0 without one), whether the user has it on, and whether it is
        // on now: keypad keys are typed with it, every other key without.
        std::uint8_t numLockMask = 0;
        bool userNumLock = false;
        bool numLockOn = false;
    };
    // What a key-down changed and its key-up undoes.
    struct HeldKey {
        xcb_keycode_t key = 0;
        std::vector<xcb_keycode_t> modifiersPressed;
    };

    // Lets go of the modifier keys the user holds except `keys`; false when one stays
    // down (held on a physical keyboard), after pressing the others again.
    bool releaseUserModifiers(Command& command, const std::vector<xcb_keycode_t>& keys);
    void fake(std::uint8_t type, xcb_keycode_t keycode);
    void lockModifiers(std::uint8_t mask, bool locked);
    void setNumLock(bool on);

    X11Connection& connection_;
    X11KeyboardLayoutSource& layouts_;
    bool hasXTest_ = false;
    std::optional<Command> command_;
    std::optional<HeldKey> held_;
};

}  // namespace corvane::x11
