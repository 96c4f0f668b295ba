#pragma once

#include <xcb/xcb.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "keystroke/keyboard_events.h"
#include "keystroke/main_thread_timer.h"
#include "keystroke/x11/key_plan.h"
#include "keystroke/x11/x11_keyboard_layout_source.h"
#include "x11/x11_connection.h"

namespace corvane::x11 {

// Posts key events through XTest, one command at a time: one look at the keyboard, one
// plan of every request (see planCommand), one write. So the application sees exactly the
// flags' modifiers, and nothing stays held. A command that cannot be typed so is refused
// whole, before anything is posted, with one line on the diagnostics. A command with
// pauses is written a part at a time, the next part from the timer, so the main thread
// never waits for it. A write that fails, or a connection that closes, ends the command
// as broken, said in one line by the connection.
class X11KeyboardEvents final : public KeyboardEvents {
  public:
    // Says on the connection's diagnostics when the server has no XTEST, or no XInput 2
    // (then modifiers held on a keyboard cannot be told from those held through XTest).
    X11KeyboardEvents(X11Connection& connection, X11KeyboardLayoutSource& layouts,
                      MainThreadTimer& timer);

    void postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts, Done done) override;

  private:
    // The plan for `keys` from one look at the keyboard, or why they cannot be typed.
    KeyPlan plan(const KeyCodeSequence& keys, ShortcutConvention shortcuts,
                 const std::optional<KeyboardSnapshot>& keyboard);
    // The modifier keys the user holds that the command must let go of and press again;
    // false when one of them is held on a real keyboard, where XTest cannot let go of it.
    bool userModifiers(const KeyboardSnapshot& keyboard, const std::vector<xcb_keycode_t>& keys,
                       std::vector<xcb_keycode_t>& held);
    // Sends the steps from `next` up to the next pause or the end; after a pause the rest
    // follows from the timer.
    void type(std::vector<KeyStep> steps, std::size_t next, Done done);
    void write(const KeyStep& step);

    X11Connection& connection_;
    X11KeyboardLayoutSource& layouts_;
    MainThreadTimer& timer_;
    bool hasXTest_ = false;
    bool hasXInput_ = false;
    // Tasks left on the timer see through it whether this object still exists.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>();
};

}  // namespace corvane::x11
