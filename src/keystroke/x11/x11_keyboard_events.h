#pragma once

#include <memory>

#include "keystroke/keyboard_events.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {

// Posts key events through XTest. A key-down presses the modifier keys its flags name
// (found in the current keymap) before the key, after letting go of any modifier the
// user holds and unlocking Caps Lock; the key-up undoes all of it in reverse order.
// So the application sees exactly the flags' modifiers, and nothing stays held.
class X11KeyboardEvents final : public KeyboardEvents {
  public:
    // Says on the connection's diagnostics when the server has no XTEST.
    X11KeyboardEvents(X11Connection& connection, X11KeyboardLayoutSource& layouts);

    // Nothing without a working X connection or without XTEST.
    std::unique_ptr<KeyboardEventSource> createSource() override;

  private:
    X11Connection& connection_;
    X11KeyboardLayoutSource& layouts_;
    bool hasXTest_ = false;
};

}  // namespace corvane::x11
