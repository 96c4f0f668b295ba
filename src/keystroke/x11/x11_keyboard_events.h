#pragma once

#include <xcb/xcb.h>

#include <memory>
#include <optional>
#include <vector>

#include "keystroke/keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {

// Posts key events through XTest, one command at a time: one look at the keyboard, one
// plan of every event, one write. Before the first key the modifiers the user holds
// through XTest are let go and Caps Lock is unlocked; each key-down presses the modifier
// keys its flags name by the target's convention (found in the current keymap), with
// NumLock on for a keypad key and off for any other, and its key-up lets go of them;
// after the last key the user's keys and locks are as they were. So the application sees
// exactly the flags' modifiers, and nothing stays held. A command that cannot be typed so
// is refused whole, before anything is posted, with one line on the diagnostics.
class X11KeyboardEvents final : public KeyboardEvents {
  public:
    // Says on the connection's diagnostics when the server has no XTEST.
    X11KeyboardEvents(X11Connection& connection, X11KeyboardLayoutSource& layouts);

    // Nothing without a working X connection or without XTEST. A key posted through a
    // source is a command of its own, typed whole at its key-down.
    std::unique_ptr<KeyboardEventSource> createSource() override;
    bool postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts) override;

  private:
    // One request of a command's plan.
    struct Step {
        enum class Kind : std::uint8_t { press, release, lock, unlock } kind;
        // The key pressed or released, or the modifiers locked or unlocked.
        std::uint8_t code;
    };
    // The requests that type `keys` on `keyboard`, or why they cannot be typed.
    struct Plan {
        std::vector<Step> steps;
        const char* refusal = nullptr;
    };
    Plan plan(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
              const KeyboardSnapshot& keyboard);
    // The modifier keys the user holds that the command must let go of and press again;
    // false when one of them is held on a real keyboard, where XTest cannot let go of it.
    bool userModifiers(const KeyboardSnapshot& keyboard, const std::vector<xcb_keycode_t>& keys,
                       std::vector<xcb_keycode_t>& held);
    void write(const Step& step);

    X11Connection& connection_;
    X11KeyboardLayoutSource& layouts_;
    bool hasXTest_ = false;
    bool hasXInput_ = false;
};

}  // namespace corvane::x11
