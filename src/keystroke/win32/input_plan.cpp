#include "keystroke/win32/input_plan.h"

#include <algorithm>
#include <array>
#include <optional>

#include "keystroke/fixed_keys.h"
#include "keystroke/win32/windows_keys.h"

namespace corvane::win32 {

namespace {

// macOS virtual key codes of the keys that give the modifiers.
constexpr std::uint16_t leftShift = leftShiftKeyCode;
constexpr std::uint16_t leftControl = 0x3B;
constexpr std::uint16_t leftAlt = 0x3A;
constexpr std::uint16_t rightAlt = 0x3D;
constexpr std::uint16_t leftWindows = 0x37;
constexpr std::uint16_t capsLockKey = 0x39;

// The keys that give each ModifierKey, in the order of ModifierKey (0: no second key).
constexpr std::array<std::array<std::uint16_t, 2>, modifierKeyCount> modifierKeyCodes = {{
    {leftControl, 0},         // control
    {leftShift, 0},           // shift
    {leftAlt, 0},             // alt
    {leftControl, rightAlt},  // levelThree: AltGr
    {leftWindows, 0},         // super
}};

INPUT keyInput(unsigned virtualKey, const WindowsKey& key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(virtualKey);
    input.ki.wScan = key.scanCode;
    input.ki.dwFlags = (key.extended ? KEYEVENTF_EXTENDEDKEY : 0U) | (up ? KEYEVENTF_KEYUP : 0U);
    return input;
}

class Inputs {
  public:
    Inputs(std::vector<INPUT>& inputs, WindowsKeyboardLayout& layout)
        : inputs_(inputs), layout_(layout) {}

    // False when the layout has no such key.
    bool add(std::uint16_t keyCode, bool up) {
        const std::optional<WindowsKey> key = windowsKeyForVirtualKey(keyCode);
        const unsigned virtualKey = key ? layout_.virtualKeyAt(keyCode) : 0;
        if (virtualKey == 0) {
            return false;
        }
        inputs_.push_back(keyInput(virtualKey, *key, up));
        return true;
    }
    bool tap(std::uint16_t keyCode) { return add(keyCode, false) && add(keyCode, true); }

  private:
    std::vector<INPUT>& inputs_;
    WindowsKeyboardLayout& layout_;
};

// The modifier keys of a pair, in the order they are pressed, each once.
std::vector<std::uint16_t> modifiersOf(const KeyCodePair& pair, ShortcutConvention shortcuts) {
    const ModifierKeys modifiers =
        modifierKeysFor(pair.flags, pair.character ? layoutModifiers : shortcuts);
    std::vector<std::uint16_t> keys;
    for (std::size_t modifier = 0; modifier < modifierKeyCount; ++modifier) {
        if (!modifiers[modifier]) {
            continue;
        }
        for (const std::uint16_t key : modifierKeyCodes[modifier]) {
            if (key != 0 && std::find(keys.begin(), keys.end(), key) == keys.end()) {
                keys.push_back(key);
            }
        }
    }
    return keys;
}

}  // namespace

InputPlan planInputs(const std::vector<KeyCodePair>& pairs, ShortcutConvention shortcuts,
                     WindowsKeyboardLayout& layout, UserKeyboard keyboard) {
    if (keyboard.modifierHeld) {
        return {{}, "A command was not typed: a modifier key is held down on the keyboard."};
    }
    constexpr const char* missing =
        "A command was not typed: one of its keys is missing from the keyboard.";
    InputPlan plan;
    Inputs inputs(plan.inputs, layout);
    const bool capsLockOff =
        keyboard.capsLock && std::any_of(pairs.begin(), pairs.end(),
                                         [](const KeyCodePair& pair) { return pair.character; });
    if (capsLockOff && !inputs.tap(capsLockKey)) {
        return {{}, missing};
    }
    for (const KeyCodePair& pair : pairs) {
        const std::vector<std::uint16_t> modifiers = modifiersOf(pair, shortcuts);
        bool typed = true;
        for (const std::uint16_t modifier : modifiers) {
            typed = typed && inputs.add(modifier, false);
        }
        typed = typed && inputs.tap(pair.keyCode);
        for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier) {
            typed = typed && inputs.add(*modifier, true);
        }
        if (!typed) {
            return {{}, missing};
        }
    }
    if (capsLockOff) {
        inputs.tap(capsLockKey);
    }
    return plan;
}

std::vector<INPUT> inputsToUndo(std::span<const INPUT> inputs, std::size_t accepted) {
    std::vector<INPUT> down;
    std::size_t capsLockPresses = 0;
    for (const INPUT& input : inputs.first(std::min(accepted, inputs.size()))) {
        const auto same = [&input](const INPUT& other) { return other.ki.wVk == input.ki.wVk; };
        if ((input.ki.dwFlags & KEYEVENTF_KEYUP) != 0) {
            std::erase_if(down, same);
        } else if (std::none_of(down.begin(), down.end(), same)) {
            down.push_back(input);
            capsLockPresses += input.ki.wVk == VK_CAPITAL ? 1 : 0;
        }
    }
    std::vector<INPUT> undo;
    for (auto key = down.rbegin(); key != down.rend(); ++key) {
        undo.push_back(*key);
        undo.back().ki.dwFlags |= KEYEVENTF_KEYUP;
    }
    if (capsLockPresses % 2 != 0) {
        const WindowsKey capsLock = *windowsKeyForVirtualKey(capsLockKey);
        undo.push_back(keyInput(VK_CAPITAL, capsLock, false));
        undo.push_back(keyInput(VK_CAPITAL, capsLock, true));
    }
    return undo;
}

}  // namespace corvane::win32
