#pragma once

#include <windows.h>

#include <memory>
#include <ostream>
#include <span>

#include "keystroke/keyboard_events.h"
#include "keystroke/win32/input_plan.h"
#include "keystroke/win32/windows_keyboard_layout.h"

namespace corvane::win32 {

// What typing asks of Windows.
class InputSystem {
  public:
    virtual ~InputSystem() = default;
    // The modifiers the user holds and the locks as they are now.
    virtual UserKeyboard userKeyboard() = 0;
    // Hands `inputs` to the system's input queue; returns how many it took.
    virtual unsigned send(std::span<INPUT> inputs) = 0;
};

// The system's own: GetAsyncKeyState, GetKeyState and SendInput.
class WindowsInputSystem final : public InputSystem {
  public:
    UserKeyboard userKeyboard() override;
    unsigned send(std::span<INPUT> inputs) override;
};

// Posts each command through one SendInput call, on the layout of the window in front (see
// planInputs): the system's input queue keeps the keys together and in order, so no command
// needs time of its own and `done` is called at once. A command that cannot be typed so is
// refused whole, before anything is posted, with one line on `diagnostics`; so is one that
// Windows does not take (it takes nothing injected for a window of higher integrity). When
// it takes only some, the keys left down are let go of, and the line says so.
class SendInputKeyboardEvents final : public KeyboardEvents {
  public:
    SendInputKeyboardEvents(
        WindowsKeyboardLayoutSource& layouts, std::ostream& diagnostics,
        std::unique_ptr<InputSystem> system = std::make_unique<WindowsInputSystem>())
        : layouts_(layouts), diagnostics_(diagnostics), system_(std::move(system)) {}

    void postCommand(const KeyCodeSequence& keys, ShortcutConvention shortcuts, Done done) override;

  private:
    // Types `keys` and says how far it got.
    Posted type(const KeyCodeSequence& keys, ShortcutConvention shortcuts);

    WindowsKeyboardLayoutSource& layouts_;
    std::ostream& diagnostics_;
    std::unique_ptr<InputSystem> system_;
};

}  // namespace corvane::win32
