#include "keystroke/key_resolution.h"

#include <gtest/gtest.h>

#include "keystroke/xkb/named_layouts.h"
#include "support/recording_keyboard_events.h"

namespace corvane {
namespace {

KeySequence fixed(KeyType::Case key) {
    return KeySequence::single(KeyType::fixed(key));
}
KeySequence text(std::u16string value) {
    return KeySequence::single(KeyType::string(value));
}
KeySequence list(std::vector<KeySequence> items) {
    return KeySequence::multiple(std::move(items));
}

class KeyResolutionTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(layouts.select("us")); }

    // The keys of the sequence in the order they are posted; none when it does not resolve.
    std::vector<KeyCodePair> resolveAndPost(const KeySequence& sequence) {
        if (const std::optional<KeyCodeSequence> resolved = resolveKeySequence(layouts, sequence)) {
            events.postCommand(*resolved, macShortcuts, nullptr);
        }
        return events.presses();
    }
    xkb::NamedLayouts layouts;
    testing::RecordingKeyboardEvents events;
};

// Shift+P and Command+T go to the key that gives the letter, without Option; a layout
// without Latin letters, or no layout at all, keeps the QWERTY position. The other fixed
// keys never move.
TEST_F(KeyResolutionTest, LetterShortcutsFollowTheLayoutOtherFixedKeysStay) {
    using C = KeyType::Case;
    const struct {
        const char* layout;
        const char* variant;
        std::uint16_t p, t;
    } cases[] = {
        {"us", "", 0x23, 0x11},        {"de", "", 0x23, 0x11}, {"fr", "", 0x23, 0x11},
        {"us", "dvorak", 0x0F, 0x28},   // QWERTY R and K
        {"us", "colemak", 0x0F, 0x03},  // R and F
        {"fr", "bepo", 0x0E, 0x26},     // E and J
        {"de", "neo", 0x09, 0x25},      // V and L
        {"ru", "", 0x23, 0x11},        {"gr", "", 0x23, 0x11}, {"", "", 0x23, 0x11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.layout) + " " + c.variant);
        if (*c.layout == '\0') {
            layouts.clear();
        } else {
            ASSERT_TRUE(layouts.select(c.layout, c.variant));
        }
        events.commands.clear();
        EXPECT_EQ(resolveAndPost(list({fixed(C::shift_p), fixed(C::command_t), fixed(C::escape),
                                       fixed(C::command_option_keypad7)})),
                  (std::vector<KeyCodePair>{{c.p, EventFlags::shift},
                                            {c.t, EventFlags::command},
                                            {0x35, 0},
                                            {0x59, EventFlags::command | EventFlags::option}}));
    }
}

TEST_F(KeyResolutionTest, NestedTextsKeepTheirPlaceAndTakeTheirModifiersAsFlags) {
    // [a, [A, [], c], d] posts a, A (Shift), c, d, each down then up.
    EXPECT_EQ(
        resolveAndPost(list({text(u"a"), list({text(u"A"), list({}), text(u"c")}), text(u"d")})),
        (std::vector<KeyCodePair>{
            {0x00, 0, true}, {0x00, EventFlags::shift, true}, {0x08, 0, true}, {0x02, 0, true}}));
    const std::optional<KeyCodeSequence> empty = resolveKeySequence(layouts, list({}));
    ASSERT_TRUE(empty && empty->asMultiple());  // empty, but not absent
    EXPECT_TRUE(empty->asMultiple()->empty());
}

}  // namespace
}  // namespace corvane
