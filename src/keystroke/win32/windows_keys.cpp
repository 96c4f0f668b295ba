#include "keystroke/win32/windows_keys.h"

#include <windows.h>

#include <array>

namespace corvane::win32 {

namespace {

constexpr WindowsKey key(std::uint16_t scanCode) {
    return {scanCode, false, 0};
}
constexpr WindowsKey fixed(std::uint16_t scanCode, std::uint8_t virtualKey) {
    return {scanCode, false, virtualKey};
}
constexpr WindowsKey extendedFixed(std::uint16_t scanCode, std::uint8_t virtualKey) {
    return {scanCode, true, virtualKey};
}

// Indexed by macOS virtual key code; a scan code of 0 means the code has no key here.
constexpr std::array<WindowsKey, 0x80> windowsKeys = [] {
    std::array<WindowsKey, 0x80> keys{};
    keys[0x00] = key(0x1E);  // A
    keys[0x01] = key(0x1F);  // S
    keys[0x02] = key(0x20);  // D
    keys[0x03] = key(0x21);  // F
    keys[0x04] = key(0x23);  // H
    keys[0x05] = key(0x22);  // G
    keys[0x06] = key(0x2C);  // Z
    keys[0x07] = key(0x2D);  // X
    keys[0x08] = key(0x2E);  // C
    keys[0x09] = key(0x2F);  // V
    keys[0x0A] = key(0x56);  // ISO section: the key beside left Shift
    keys[0x0B] = key(0x30);  // B
    keys[0x0C] = key(0x10);  // Q
    keys[0x0D] = key(0x11);  // W
    keys[0x0E] = key(0x12);  // E
    keys[0x0F] = key(0x13);  // R
    keys[0x10] = key(0x15);  // Y
    keys[0x11] = key(0x14);  // T
    keys[0x12] = key(0x02);  // 1
    keys[0x13] = key(0x03);  // 2
    keys[0x14] = key(0x04);  // 3
    keys[0x15] = key(0x05);  // 4
    keys[0x16] = key(0x07);  // 6
    keys[0x17] = key(0x06);  // 5
    keys[0x18] = key(0x0D);  // =
    keys[0x19] = key(0x0A);  // 9
    keys[0x1A] = key(0x08);  // 7
    keys[0x1B] = key(0x0C);  // -
    keys[0x1C] = key(0x09);  // 8
    keys[0x1D] = key(0x0B);  // 0
    keys[0x1E] = key(0x1B);  // ]
    keys[0x1F] = key(0x18);  // O
    keys[0x20] = key(0x16);  // U
    keys[0x21] = key(0x1A);  // [
    keys[0x22] = key(0x17);  // I
    keys[0x23] = key(0x19);  // P
    keys[0x24] = fixed(0x1C, VK_RETURN);
    keys[0x25] = key(0x26);  // L
    keys[0x26] = key(0x24);  // J
    keys[0x27] = key(0x28);  // '
    keys[0x28] = key(0x25);  // K
    keys[0x29] = key(0x27);  // ;
    keys[0x2A] = key(0x2B);  // backslash
    keys[0x2B] = key(0x33);  // ,
    keys[0x2C] = key(0x35);  // /
    keys[0x2D] = key(0x31);  // N
    keys[0x2E] = key(0x32);  // M
    keys[0x2F] = key(0x34);  // .
    keys[0x30] = fixed(0x0F, VK_TAB);
    keys[0x31] = fixed(0x39, VK_SPACE);
    keys[0x32] = key(0x29);  // grave accent
    keys[0x33] = fixed(0x0E, VK_BACK);
    keys[0x35] = fixed(0x01, VK_ESCAPE);
    keys[0x36] = extendedFixed(0x5C, VK_RWIN);  // right Command
    keys[0x37] = extendedFixed(0x5B, VK_LWIN);  // Command
    keys[0x38] = fixed(0x2A, VK_LSHIFT);
    keys[0x39] = fixed(0x3A, VK_CAPITAL);
    keys[0x3A] = fixed(0x38, VK_LMENU);  // Option
    keys[0x3B] = fixed(0x1D, VK_LCONTROL);
    keys[0x3C] = fixed(0x36, VK_RSHIFT);
    keys[0x3D] = extendedFixed(0x38, VK_RMENU);  // right Option
    keys[0x3E] = extendedFixed(0x1D, VK_RCONTROL);
    keys[0x41] = fixed(0x53, VK_DECIMAL);
    keys[0x43] = fixed(0x37, VK_MULTIPLY);
    keys[0x45] = fixed(0x4E, VK_ADD);
    keys[0x47] = extendedFixed(0x45, VK_NUMLOCK);  // Clear sits where NumLock sits
    keys[0x4B] = extendedFixed(0x35, VK_DIVIDE);
    keys[0x4C] = extendedFixed(0x1C, VK_RETURN);  // keypad Enter
    keys[0x4E] = fixed(0x4A, VK_SUBTRACT);
    // The keypad digits as digits, whatever NumLock says: that is what they type on a Mac.
    keys[0x52] = fixed(0x52, VK_NUMPAD0);
    keys[0x53] = fixed(0x4F, VK_NUMPAD1);
    keys[0x54] = fixed(0x50, VK_NUMPAD2);
    keys[0x55] = fixed(0x51, VK_NUMPAD3);
    keys[0x56] = fixed(0x4B, VK_NUMPAD4);
    keys[0x57] = fixed(0x4C, VK_NUMPAD5);
    keys[0x58] = fixed(0x4D, VK_NUMPAD6);
    keys[0x59] = fixed(0x47, VK_NUMPAD7);
    keys[0x5B] = fixed(0x48, VK_NUMPAD8);
    keys[0x5C] = fixed(0x49, VK_NUMPAD9);
    keys[0x5D] = key(0x7D);  // JIS Yen
    keys[0x5E] = key(0x73);  // JIS underscore
    return keys;
}();

}  // namespace

std::optional<WindowsKey> windowsKeyForVirtualKey(std::uint16_t virtualKeyCode) {
    if (virtualKeyCode >= windowsKeys.size() || windowsKeys[virtualKeyCode].scanCode == 0) {
        return std::nullopt;
    }
    return windowsKeys[virtualKeyCode];
}

}  // namespace corvane::win32
