#include "keystroke/win32/windows_keyboard_layout.h"

#include <gtest/gtest.h>

#include "keystroke/character_lookup.h"
#include "keystroke/win32/foreground_keyboard_layout_source.h"
#include "keystroke/win32/recorded_layout.h"
#include "support/key_and_state.h"

namespace corvane::win32 {
namespace {

TEST(WindowsKeyboardLayout, FindsTheFirstKeyAndStateOnRecordedLayouts) {
    const struct {
        const char* layout;
        std::u16string_view text;
        const char* expected;
    } cases[] = {
        // us ^ - v, fr ^ - and de ^ as SendInputTyping types them.
        {"us", u"Q", "c/200"},       {"us", u"5", "17/0"},  // main row before keypad 5
        {"fr", u"a", "c/0"},         {"fr", u"1", "12/200"}, {"fr", u"\u20AC", "e/800"},
        {"fr", u"<", "a/0"},  // the ISO key comes after the dead key: found only if it was let go
        {"de", u"\u00B0", "32/200"}, {"de", u"-", "2c/0"},   {"de", u"v", "9/0"},
        {"ru", u"^", "none"},        {"ru", u"-", "1b/0"},   {"ru", u"v", "none"},
        {"ru", u"\u044F", "6/0"},
    };
    for (const bool holdsDeadKeys : {false, true}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.layout) + (holdsDeadKeys ? ", holding dead keys" : ""));
            auto recorded = std::make_unique<RecordedLayout>(c.layout, holdsDeadKeys);
            ASSERT_GT(recorded->keys.size(), 60U);
            RecordedLayout& layout = *recorded;
            RecordedLayoutSource layouts(std::move(recorded));
            EXPECT_EQ(testing::keyAndState(layouts, c.text), c.expected);
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
    EXPECT_EQ(testing::keyAndState(source, u"^"), "16/200");
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
