#pragma once

#include <windows.h>

#include <span>
#include <vector>

#include "keystroke/key_model.h"
#include "keystroke/shortcut_convention.h"
#include "keystroke/win32/windows_keyboard_layout.h"

namespace corvane::win32 {

// The keyboard as the user has it when a command is to be typed.
struct UserKeyboard {
    // Shift, Ctrl, Alt or a Windows key held down.
    bool modifierHeld = false;
    bool capsLock = false;
};

// Every input that types a command, for one SendInput call, or why it cannot be typed.
struct InputPlan {
    std::vector<INPUT> inputs;
    const char* refusal = nullptr;
};

// The inputs that type `pairs` on `layout`, as a hardware keyboard sends them: each with its
// virtual key on that layout, its scan code and, for a key with the extended prefix, the
// extended flag. Each key-down presses the modifier keys its flags name by `shortcuts` (a
// character's by the layout's own: its third level is AltGr, which Windows defines as
// Ctrl+Alt, sent as left Ctrl and right Alt) and its key-up lets go of them, in reverse.
//
// Caps Lock would change a character's case (and on some layouts, such as French, its
// level): when it is on, a command with a character key turns it off before the keys and on
// again after them, so the application sees it pressed once before and once after. Keys
// that do not type characters are sent as they are, since their virtual keys say what they
// are whatever the locks. Refused while the user holds a modifier, which would join every
// key of the command.
InputPlan planInputs(const std::vector<KeyCodePair>& pairs, ShortcutConvention shortcuts,
                     WindowsKeyboardLayout& layout, UserKeyboard keyboard);

// What brings the keyboard back after Windows took only the first `accepted` of `inputs`:
// the key-ups of the keys they left down, last pressed first, and a press of Caps Lock when
// they changed it.
std::vector<INPUT> inputsToUndo(std::span<const INPUT> inputs, std::size_t accepted);

}  // namespace corvane::win32
