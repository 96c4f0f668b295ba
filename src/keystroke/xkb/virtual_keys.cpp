#include "keystroke/xkb/virtual_keys.h"

#include <linux/input-event-codes.h>

#include <array>

namespace corvane::xkb {

namespace {

// Indexed by macOS virtual key code; 0 means the code has no key here.
constexpr std::array<std::uint16_t, 0x80> evdevCodes = [] {
    std::array<std::uint16_t, 0x80> codes{};
    codes[0x00] = KEY_A;
    codes[0x01] = KEY_S;
    codes[0x02] = KEY_D;
    codes[0x03] = KEY_F;
    codes[0x04] = KEY_H;
    codes[0x05] = KEY_G;
    codes[0x06] = KEY_Z;
    codes[0x07] = KEY_X;
    codes[0x08] = KEY_C;
    codes[0x09] = KEY_V;
    codes[0x0A] = KEY_102ND;  // ISO section key
    codes[0x0B] = KEY_B;
    codes[0x0C] = KEY_Q;
    codes[0x0D] = KEY_W;
    codes[0x0E] = KEY_E;
    codes[0x0F] = KEY_R;
    codes[0x10] = KEY_Y;
    codes[0x11] = KEY_T;
    codes[0x12] = KEY_1;
    codes[0x13] = KEY_2;
    codes[0x14] = KEY_3;
    codes[0x15] = KEY_4;
    codes[0x16] = KEY_6;
    codes[0x17] = KEY_5;
    codes[0x18] = KEY_EQUAL;
    codes[0x19] = KEY_9;
    codes[0x1A] = KEY_7;
    codes[0x1B] = KEY_MINUS;
    codes[0x1C] = KEY_8;
    codes[0x1D] = KEY_0;
    codes[0x1E] = KEY_RIGHTBRACE;
    codes[0x1F] = KEY_O;
    codes[0x20] = KEY_U;
    codes[0x21] = KEY_LEFTBRACE;
    codes[0x22] = KEY_I;
    codes[0x23] = KEY_P;
    codes[0x24] = KEY_ENTER;  // Return
    codes[0x25] = KEY_L;
    codes[0x26] = KEY_J;
    codes[0x27] = KEY_APOSTROPHE;
    codes[0x28] = KEY_K;
    codes[0x29] = KEY_SEMICOLON;
    codes[0x2A] = KEY_BACKSLASH;
    codes[0x2B] = KEY_COMMA;
    codes[0x2C] = KEY_SLASH;
    codes[0x2D] = KEY_N;
    codes[0x2E] = KEY_M;
    codes[0x2F] = KEY_DOT;
    codes[0x30] = KEY_TAB;
    codes[0x31] = KEY_SPACE;
    codes[0x32] = KEY_GRAVE;
    codes[0x33] = KEY_BACKSPACE;  // Delete
    codes[0x35] = KEY_ESC;
    codes[0x36] = KEY_RIGHTMETA;  // right Command
    codes[0x37] = KEY_LEFTMETA;   // Command
    codes[0x38] = KEY_LEFTSHIFT;
    codes[0x39] = KEY_CAPSLOCK;
    codes[0x3A] = KEY_LEFTALT;  // Option
    codes[0x3B] = KEY_LEFTCTRL;
    codes[0x3C] = KEY_RIGHTSHIFT;
    codes[0x3D] = KEY_RIGHTALT;  // right Option
    codes[0x3E] = KEY_RIGHTCTRL;
    codes[0x41] = KEY_KPDOT;
    codes[0x43] = KEY_KPASTERISK;
    codes[0x45] = KEY_KPPLUS;
    codes[0x47] = KEY_NUMLOCK;  // Clear sits where NumLock sits on a PC keypad
    codes[0x4B] = KEY_KPSLASH;
    codes[0x4C] = KEY_KPENTER;
    codes[0x4E] = KEY_KPMINUS;
    codes[0x51] = KEY_KPEQUAL;
    codes[0x52] = KEY_KP0;
    codes[0x53] = KEY_KP1;
    codes[0x54] = KEY_KP2;
    codes[0x55] = KEY_KP3;
    codes[0x56] = KEY_KP4;
    codes[0x57] = KEY_KP5;
    codes[0x58] = KEY_KP6;
    codes[0x59] = KEY_KP7;
    codes[0x5B] = KEY_KP8;
    codes[0x5C] = KEY_KP9;
    codes[0x5D] = KEY_YEN;
    codes[0x5E] = KEY_RO;  // JIS underscore
    codes[0x5F] = KEY_KPJPCOMMA;
    codes[0x66] = KEY_HANJA;    // JIS Eisu
    codes[0x68] = KEY_HANGEUL;  // JIS Kana
    return codes;
}();

constexpr std::uint32_t evdevToXkbOffset = 8;

}  // namespace

std::optional<std::uint16_t> evdevCodeForVirtualKey(std::uint16_t virtualKeyCode) {
    if (virtualKeyCode >= evdevCodes.size() || evdevCodes[virtualKeyCode] == 0) {
        return std::nullopt;
    }
    return evdevCodes[virtualKeyCode];
}

std::optional<std::uint32_t> xkbKeycodeForVirtualKey(std::uint16_t virtualKeyCode) {
    const std::optional<std::uint16_t> evdev = evdevCodeForVirtualKey(virtualKeyCode);
    if (!evdev) {
        return std::nullopt;
    }
    return *evdev + evdevToXkbOffset;
}

}  // namespace corvane::xkb
