#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <memory>
#include <unordered_map>

#include "keystroke/keyboard_layout.h"

namespace corvane::win32 {

// What translating a key asks of a Windows keyboard layout: the system's answers for one
// layout, or recorded answers of layouts this machine does not have.
class LayoutQueries {
  public:
    virtual ~LayoutQueries() = default;
    // MapVirtualKeyExW(scanCode, MAPVK_VSC_TO_VK_EX): the virtual key of a scan code (0xE0
    // in the high byte for an extended key), or 0.
    virtual unsigned virtualKeyForScanCode(unsigned prefixedScanCode) = 0;
    // ToUnicodeEx: the text of one key-down in a keyboard state (256 bytes, 0x80 down,
    // 0x01 toggled); negative for a dead key.
    virtual int toUnicode(unsigned virtualKey, unsigned scanCode, const BYTE* keyState,
                          wchar_t* text, int capacity, unsigned flags) = 0;
};

// The system's own layout `layout` (an HKL).
class SystemLayoutQueries final : public LayoutQueries {
  public:
    explicit SystemLayoutQueries(HKL layout) : layout_(layout) {}
    unsigned virtualKeyForScanCode(unsigned prefixedScanCode) override {
        return MapVirtualKeyExW(prefixedScanCode, MAPVK_VSC_TO_VK_EX, layout_);
    }
    int toUnicode(unsigned virtualKey, unsigned scanCode, const BYTE* keyState, wchar_t* text,
                  int capacity, unsigned flags) override {
        return ToUnicodeEx(virtualKey, scanCode, keyState, text, capacity, flags, layout_);
    }

  private:
    HKL layout_;
};

// A Windows keyboard layout seen through the macOS key positions: Shift is Shift, Option
// is AltGr (Ctrl+Alt), Caps Lock is toggled on, Control is Ctrl.
class WindowsKeyboardLayout final : public KeyboardLayout {
  public:
    explicit WindowsKeyboardLayout(std::unique_ptr<LayoutQueries> queries)
        : queries_(std::move(queries)) {}

    bool translate(std::uint16_t virtualKeyCode, std::uint8_t modifierKeyState,
                   std::uint8_t keyboardType, std::uint32_t& deadKeyState,
                   std::span<char16_t> output, std::size_t& length) override;
    std::uint8_t keyboardType() const override { return 0; }

    // The layout's virtual key at a macOS key position, or 0; asked once per key.
    unsigned virtualKeyAt(std::uint16_t virtualKeyCode);

  private:
    // What ToUnicodeEx said of one key in one modifier key state.
    struct Translation {
        int produced = 0;
        std::array<char16_t, 8> text{};
    };
    // Asked once per key and state: a layout's answers do not change, and each costs a call
    // into the system (under Wine, a walk through the X keymap).
    const Translation& translationOf(std::uint16_t virtualKeyCode, unsigned virtualKey,
                                     std::uint8_t modifierKeyState);

    std::unique_ptr<LayoutQueries> queries_;
    std::array<std::uint16_t, 0x80> virtualKeys_{};  // 0: not asked yet; 0xFFFF: no key
    std::unordered_map<std::uint16_t, Translation> translations_;  // by key code << 8 | state
};

// A source of layouts that Windows knows: each also says which virtual key a key has.
class WindowsKeyboardLayoutSource : public KeyboardLayoutSource {
  public:
    // The current layout, or null when none can be had.
    virtual std::shared_ptr<WindowsKeyboardLayout> currentWindowsLayout() = 0;
    std::shared_ptr<KeyboardLayout> currentLayout() final { return currentWindowsLayout(); }
};

}  // namespace corvane::win32
