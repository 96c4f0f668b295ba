#pragma once

#include <cstdint>
#include <optional>

namespace corvane::win32 {

// The key at the position a macOS virtual key code names, as Windows knows it: its scan
// code (set 1, as a hardware key sends it) with the extended prefix or not, and for keys
// whose meaning no layout changes (modifiers, keypad, Return, Escape, ...) the virtual key
// itself. The other keys get their virtual key from the layout in use.
struct WindowsKey {
    std::uint16_t scanCode = 0;
    bool extended = false;
    std::uint8_t fixedVirtualKey = 0;  // 0: the layout decides

    // The scan code as MapVirtualKeyEx takes it: 0xE0 in the high byte for extended keys.
    unsigned prefixedScanCode() const { return extended ? 0xE000U | scanCode : scanCode; }
};

// Nothing for a code without a counterpart on a PC keyboard.
std::optional<WindowsKey> windowsKeyForVirtualKey(std::uint16_t virtualKeyCode);

}  // namespace corvane::win32
