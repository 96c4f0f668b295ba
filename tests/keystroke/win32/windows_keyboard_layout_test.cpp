#include "keystroke/win32/windows_keyboard_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "keystroke/character_lookup.h"
#include "keystroke/win32/foreground_keyboard_layout_source.h"

namespace corvane::win32 {
namespace {

std::u16string utf16(const std::string& utf8) {
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

class OneLayout final : public KeyboardLayoutSource {
  public:
    explicit OneLayout(std::shared_ptr<KeyboardLayout> layout) : layout_(std::move(layout)) {}
    std::shared_ptr<KeyboardLayout> currentLayout() override { return layout_; }

  private:
    std::shared_ptr<KeyboardLayout> layout_;
};

// "key/state" in hex of the macOS key and modifier state that type `text`, or "none".
std::string lookUp(KeyboardLayoutSource& layouts, std::u16string_view text) {
    std::uint16_t keyCode = 0;
    std::uint32_t state = 0;
    if (!keyCodeForString(layouts, text, keyCode, state)) {
        return "none";
    }
    std::ostringstream found;
    found << std::hex << keyCode << "/" << state;
    return found.str();
}

TEST(WindowsKeyboardLayout, FindsTheFirstKeyAndStateOnRecordedLayouts) {
    const struct {
        const char* layout;
        std::u16string_view text;
        const char* expected;
    } cases[] = {
        {"us", u"^", "16/200"},      {"us", u"-", "1b/0"},
        {"us", u"v", "9/0"},         {"us", u"Q", "c/200"},
        {"us", u"5", "17/0"},  // main row before keypad 5
        {"fr", u"a", "c/0"},         {"fr", u"1", "12/200"},
        {"fr", u"^", "19/800"},  // AltGr+9, not the dead key beside P
        {"fr", u"-", "16/0"},        {"fr", u"\u20AC", "e/800"},
        {"fr", u"<", "a/0"},   // the ISO key comes after the dead key: found only if it was let go
        {"de", u"^", "none"},  // only a dead key there
        {"de", u"\u00B0", "32/200"}, {"de", u"-", "2c/0"},
        {"de", u"v", "9/0"},         {"ru", u"^", "none"},
        {"ru", u"-", "1b/0"},        {"ru", u"v", "none"},
        {"ru", u"\u044F", "6/0"},
    };
    for (const bool holdsDeadKeys : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.layout) + (holdsDeadKeys ? ", holding dead keys" : ""));
            auto recorded = std::make_unique<RecordedLayout>(c.layout, holdsDeadKeys);
            ASSERT_GT(recorded->keys.size(), 60U);
            RecordedLayout& layout = *recorded;
            OneLayout layouts(std::make_shared<WindowsKeyboardLayout>(std::move(recorded)));
            EXPECT_EQ(lookUp(layouts, c.text), c.expected);
            EXPECT_EQ(layout.pending, u"") << "a dead key was left in the layout";
        }
    }
}

// What a key types, or "-" when it cannot be translated.
std::u16string typed(KeyboardLayout& layout, std::uint16_t key, std::uint8_t modifiers) {
    std::array<char16_t, 8> text{};
    std::size_t length = 0;
    std::uint32_t deadKeyState = 0;
    if (!layout.translate(key, modifiers, 0, deadKeyState, text, length)) {
        return u"-";
    }
    return deadKeyState != 0 ? u"dead" : std::u16string(text.data(), length);
}

// Wine's layout is always US: through the real calls, the foreground window's layout types
// on every key what the recorded US layout does, with and without Shift.
TEST(WindowsKeyboardLayout, TheForegroundLayoutUnderWineIsTheRecordedUsLayout) {
    ForegroundKeyboardLayoutSource source;
    ASSERT_EQ(LOWORD(reinterpret_cast<UINT_PTR>(source.currentHandle())), 0x0409);
    EXPECT_EQ(lookUp(source, u"^"), "16/200");
    const std::shared_ptr<KeyboardLayout> system = source.currentLayout();
    WindowsKeyboardLayout recorded(std::make_unique<RecordedLayout>("us", false));
    for (std::uint16_t key = 0; key < 0x80; ++key) {
        if (key == 0x0A) {
            continue;  // the key beside left Shift: Wine gives X's < and >, Windows \ and |
        }
        for (const std::uint8_t modifiers : {0x00, 0x02}) {
            EXPECT_EQ(typed(*system, key, modifiers), typed(recorded, key, modifiers))
                << std::hex << "key 0x" << key << " modifiers 0x" << int{modifiers};
        }
    }
}

}  // namespace
}  // namespace corvane::win32
