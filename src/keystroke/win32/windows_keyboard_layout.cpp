#include "keystroke/win32/windows_keyboard_layout.h"

#include <algorithm>

#include "keystroke/win32/windows_keys.h"

namespace corvane::win32 {

namespace {

constexpr BYTE down = 0x80;
constexpr BYTE toggled = 0x01;
constexpr std::uint16_t noKey = 0xFFFF;

// ToUnicodeEx leaves the keyboard state (a dead key it met) as it was (Windows 10 1607 on).
constexpr unsigned keepKeyboardState = 0x4;

std::array<BYTE, 256> keyboardState(std::uint8_t modifierKeyState) {
    std::array<BYTE, 256> state{};
    // The keypad types digits, as a Mac's does (Windows gives them for the keypad's virtual
    // keys anyway; Wine asks the X server, which wants NumLock for them).
    state[VK_NUMLOCK] = toggled;
    if ((modifierKeyState & modifierKeyBit::shift) != 0) {
        state[VK_SHIFT] = state[VK_LSHIFT] = down;
    }
    if ((modifierKeyState & modifierKeyBit::capsLock) != 0) {
        state[VK_CAPITAL] = toggled;
    }
    if ((modifierKeyState & modifierKeyBit::option) != 0) {
        // AltGr: Windows reports it as Ctrl and Alt down together.
        state[VK_CONTROL] = state[VK_LCONTROL] = down;
        state[VK_MENU] = state[VK_RMENU] = down;
    }
    if ((modifierKeyState & modifierKeyBit::control) != 0) {
        state[VK_CONTROL] = state[VK_LCONTROL] = down;
    }
    return state;
}

}  // namespace

unsigned WindowsKeyboardLayout::virtualKeyAt(std::uint16_t virtualKeyCode) {
    if (virtualKeyCode >= virtualKeys_.size()) {
        return 0;
    }
    std::uint16_t& known = virtualKeys_[virtualKeyCode];
    if (known == 0) {
        const std::optional<WindowsKey> key = windowsKeyForVirtualKey(virtualKeyCode);
        unsigned virtualKey = 0;
        if (key) {
            virtualKey = key->fixedVirtualKey != 0
                             ? key->fixedVirtualKey
                             : queries_->virtualKeyForScanCode(key->prefixedScanCode());
        }
        known = virtualKey != 0 ? static_cast<std::uint16_t>(virtualKey) : noKey;
    }
    return known == noKey ? 0 : known;
}

const WindowsKeyboardLayout::Translation& WindowsKeyboardLayout::translationOf(
    std::uint16_t virtualKeyCode, unsigned virtualKey, std::uint8_t modifierKeyState) {
    const auto [entry, fresh] = translations_.try_emplace(
        static_cast<std::uint16_t>(virtualKeyCode << 8 | modifierKeyState));
    Translation& translation = entry->second;
    if (!fresh) {
        return translation;
    }
    // Without the extended prefix: its high bit would mean a key-up to ToUnicodeEx.
    const unsigned scanCode = windowsKeyForVirtualKey(virtualKeyCode)->scanCode;
    const std::array<BYTE, 256> state = keyboardState(modifierKeyState);
    std::array<wchar_t, 8> text{};
    translation.produced = queries_->toUnicode(virtualKey, scanCode, state.data(), text.data(),
                                               static_cast<int>(text.size()), keepKeyboardState);
    std::copy(text.begin(), text.end(), translation.text.begin());
    if (translation.produced < 0) {
        // A dead key. Where the flag above is not known, the layout now holds it and would
        // put it before the next key's text; the same key again sends it out and clears
        // it. Where the flag is known, the second call is as harmless as the first.
        queries_->toUnicode(virtualKey, scanCode, state.data(), text.data(),
                            static_cast<int>(text.size()), keepKeyboardState);
    }
    return translation;
}

bool WindowsKeyboardLayout::translate(std::uint16_t virtualKeyCode, std::uint8_t modifierKeyState,
                                      std::uint8_t /*keyboardType*/, std::uint32_t& deadKeyState,
                                      std::span<char16_t> output, std::size_t& length) {
    length = 0;
    const unsigned virtualKey = virtualKeyAt(virtualKeyCode);
    if (virtualKey == 0) {
        return false;
    }
    const Translation& translation = translationOf(virtualKeyCode, virtualKey, modifierKeyState);
    if (translation.produced < 0) {
        deadKeyState = translation.text[0] != 0 ? translation.text[0] : 1;
        return true;
    }
    deadKeyState = 0;
    const auto count = static_cast<std::size_t>(translation.produced);
    if (count > output.size() || count > translation.text.size()) {
        return false;
    }
    std::copy_n(translation.text.begin(), count, output.begin());
    length = count;
    return true;
}

}  // namespace corvane::win32
