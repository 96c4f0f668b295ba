#pragma once

// Windows keyboard layouts this machine does not have, from the tables in
// tests/keystroke/win32/layouts (LAYOUTS_DIR), answering as Windows does.

#include <windows.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "keystroke/win32/windows_keyboard_layout.h"

namespace corvane::win32 {

inline std::u16string utf16(const std::string& utf8) {
    std::wstring text(utf8.size(), L'\0');
    text.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                            static_cast<int>(text.size()))));
    return {text.begin(), text.end()};
}

// A layout of tests/keystroke/win32/layouts, answering as ToUnicodeEx does. With
// `holdsDeadKeys` it ignores the flag that keeps the keyboard state, as Windows before 10
// 1607 does: a dead key it meets stays pending and goes before the next key's text.
class RecordedLayout final : public LayoutQueries {
  public:
    struct Key {
        unsigned scanCode = 0, virtualKey = 0;
        std::array<std::u16string, 4> levels;  // base, Shift, AltGr, Shift+AltGr
        std::array<bool, 4> dead{};
    };

    RecordedLayout(const std::string& name, bool holdsDeadKeys) : holdsDeadKeys_(holdsDeadKeys) {
        std::ifstream file(LAYOUTS_DIR "/" + name + ".txt");
        for (std::string line; std::getline(file, line);) {
            std::istringstream fields(line);
            Key key;
            fields >> std::hex >> key.scanCode >> key.virtualKey;
            for (std::size_t level = 0; level < 4; ++level) {
                std::string text;
                fields >> text;
                key.dead[level] = text.size() > 1 && text.back() == '*';
                if (text.starts_with("U+")) {
                    key.levels[level] = std::u16string(
                        1, static_cast<char16_t>(std::stoi(text.substr(2), nullptr, 16)));
                } else if (text != "\u2205") {
                    key.levels[level] = utf16(text.substr(0, text.size() - key.dead[level]));
                }
            }
            keys.push_back(key);
        }
    }

    unsigned virtualKeyForScanCode(unsigned scanCode) override {
        const Key* key = find([&](const Key& k) { return k.scanCode == scanCode; });
        return key != nullptr ? key->virtualKey : 0;
    }

    int toUnicode(unsigned virtualKey, unsigned, const BYTE* state, wchar_t* text, int capacity,
                  unsigned flags) override {
        const Key* key = find([&](const Key& k) { return k.virtualKey == virtualKey; });
        const bool control = (state[VK_CONTROL] & 0x80) != 0, alt = (state[VK_MENU] & 0x80) != 0;
        if (key == nullptr || control != alt) {
            return 0;
        }
        const std::size_t level = ((state[VK_SHIFT] & 0x80) != 0 ? 1 : 0) + (alt ? 2 : 0);
        std::u16string produced = key->levels[level];
        if (key->dead[level]) {
            if (!holdsDeadKeys_ && (flags & 0x4) != 0) {
                text[0] = static_cast<wchar_t>(produced[0]);
                return -1;
            }
            if (pending.empty()) {
                pending = produced;
                text[0] = static_cast<wchar_t>(produced[0]);
                return -1;
            }
        }
        produced = std::exchange(pending, u"") + produced;
        if (static_cast<int>(produced.size()) > capacity) {
            return 0;
        }
        std::copy(produced.begin(), produced.end(), text);
        return static_cast<int>(produced.size());
    }

    std::vector<Key> keys;
    std::u16string pending;  // a dead key held for the next key

  private:
    template <typename Match>
    const Key* find(Match match) const {
        const auto found = std::ranges::find_if(keys, match);
        return found != keys.end() ? &*found : nullptr;
    }
    bool holdsDeadKeys_;
};

// One recorded layout, always current.
class RecordedLayoutSource final : public WindowsKeyboardLayoutSource {
  public:
    explicit RecordedLayoutSource(std::unique_ptr<LayoutQueries> layout)
        : layout_(std::make_shared<WindowsKeyboardLayout>(std::move(layout))) {}
    std::shared_ptr<WindowsKeyboardLayout> currentWindowsLayout() override { return layout_; }

  private:
    std::shared_ptr<WindowsKeyboardLayout> layout_;
};

}  // namespace corvane::win32
