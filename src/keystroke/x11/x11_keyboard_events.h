#pragma once

#include <xcb/xcb.h>

#include <memory>
#include <optional>
#include <vector>

#include "keystroke/keyboard_events.h"
#include "keystroke/x11/key_plan.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {

// Posts key events through XTest, one command at a time: one look at the keyboard, one
// plan of every request (see planCommand), one write. So the application sees exactly the
// flags' modifiers, and nothing stays held. A command that cannot be typed so is refused
// whole, before anything is posted, with one line on the diagnostics.
class X11KeyboardEvents final : public KeyboardEvents {
  public:
    // Says on the connection's diagnostics when the server has no XTEST.
    X11KeyboardEvents(X11Connection& connection, X11KeyboardLayoutSource& layouts);

    // Nothing without a working X connection or without XTEST. A key posted through a
    // source is a command of its own, typed whole at its key-down.
    std::unique_ptr<KeyboardEventSource> createSource() override;
    bool postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts) override;

  private:
    // The plan for `keys` from one look at the keyboard, or why they cannot be typed.
    KeyPlan plan(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
                 const std::optional<KeyboardSnapshot>& keyboard);
    // The modifier keys the user holds that the command must let go of and press again;
    // false when one of them is held on a real keyboard, where XTest cannot let go of it.
    bool userModifiers(const KeyboardSnapshot& keyboard, const std::vector<xcb_keycode_t>& keys,
                       std::vector<xcb_keycode_t>& held);
    void write(const KeyStep& step);

    X11Connection& connection_;
    X11KeyboardLayoutSource& layouts_;
    bool hasXTest_ = false;
    bool hasXInput_ = false;
};

}  // namespace corvane::x11
