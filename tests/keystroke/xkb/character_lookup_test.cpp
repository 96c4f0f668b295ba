#include "keystroke/character_lookup.h"

#include <gtest/gtest.h>

#include "keystroke/xkb/named_layouts.h"

namespace corvane {
namespace {

struct Found {
    std::uint16_t keyCode;
    std::uint32_t modifierState;
    bool operator==(const Found&) const = default;
};
void PrintTo(const Found& found, std::ostream* out) {
    *out << std::hex << "{key 0x" << found.keyCode << ", state 0x" << found.modifierState << "}";
}

class CharacterLookupTest : public ::testing::Test {
  protected:
    std::optional<Found> lookUp(std::u16string_view text) {
        std::uint16_t keyCode = 0;
        std::uint32_t state = 0;
        if (!keyCodeForString(layouts, text, keyCode, state)) {
            return std::nullopt;
        }
        return Found{keyCode, state};
    }
    void use(const char* layout) { ASSERT_TRUE(layouts.select(layout)) << layout; }
    xkb::NamedLayouts layouts;
};

TEST_F(CharacterLookupTest, UsPlacesTheDoricoCharacters) {
    use("us");
    EXPECT_EQ(lookUp(u"^"), (Found{0x16, 0x200}));  // Shift+6
    EXPECT_EQ(lookUp(u"-"), (Found{0x1B, 0}));
    EXPECT_EQ(lookUp(u"v"), (Found{0x09, 0}));
}

TEST_F(CharacterLookupTest, LettersAndTheirCapitalsShareAKey) {
    use("us");
    EXPECT_EQ(lookUp(u"q"), (Found{0x0C, 0}));
    EXPECT_EQ(lookUp(u"Q"), (Found{0x0C, 0x200}));
    use("fr");  // AZERTY: 'a' sits where 'q' sits on US keyboards
    EXPECT_EQ(lookUp(u"a"), (Found{0x0C, 0}));
    EXPECT_EQ(lookUp(u"A"), (Found{0x0C, 0x200}));
}

TEST_F(CharacterLookupTest, EarlierKeysOutrankLaterKeysAndTheKeypad) {
    use("us");
    EXPECT_EQ(lookUp(u"5"), (Found{0x17, 0}));      // main row, not keypad 5
    EXPECT_EQ(lookUp(u"+"), (Found{0x18, 0x200}));  // Shift+= before keypad +
    EXPECT_EQ(lookUp(u"*"), (Found{0x1C, 0x200}));  // Shift+8 before keypad *
    use("fr");
    EXPECT_EQ(lookUp(u"1"), (Found{0x12, 0x200}));  // digits are shifted on AZERTY
}

TEST_F(CharacterLookupTest, DeadKeysNeverMatch) {
    use("de");  // '^' is only a dead key there
    EXPECT_EQ(lookUp(u"^"), std::nullopt);
    EXPECT_EQ(lookUp(u"-"), (Found{0x2C, 0}));  // the key right of '.'
}

TEST_F(CharacterLookupTest, OptionReachesLevelThree) {
    use("fr");
    EXPECT_EQ(lookUp(u"^"), (Found{0x19, 0x800}));       // AltGr+9
    EXPECT_EQ(lookUp(u"\u20AC"), (Found{0x0E, 0x800}));  // AltGr+E gives the euro sign
}

TEST_F(CharacterLookupTest, ASwitchOfLayoutCountsFromTheNextCall) {
    use("us");
    const std::optional<Found> before = lookUp(u"^");
    use("fr");
    const std::optional<Found> after = lookUp(u"^");
    ASSERT_TRUE(before && after);
    EXPECT_NE(*before, *after);
}

TEST_F(CharacterLookupTest, ImpossibleTextsAreNotFoundAndLeaveTheOutputs) {
    use("us");
    for (std::u16string_view text : {std::u16string_view(u""), std::u16string_view(u"abcde"),
                                     std::u16string_view(u"ab"), std::u16string_view(u"\xD800"),
                                     std::u16string_view(u"\xDC00x"), std::u16string_view(u" ")}) {
        std::uint16_t keyCode = 0x7777;
        std::uint32_t state = 0x5555;
        EXPECT_FALSE(keyCodeForString(layouts, text, keyCode, state));
        EXPECT_EQ(keyCode, 0x7777);
        EXPECT_EQ(state, 0x5555U);
    }
}

TEST_F(CharacterLookupTest, NoLayoutFindsNothing) {
    layouts.clear();
    std::uint16_t keyCode = 1;
    std::uint32_t state = 2;
    EXPECT_FALSE(keyCodeForString(layouts, u"a", keyCode, state));
    EXPECT_EQ(keyCode, 1);
    EXPECT_EQ(state, 2U);
    EXPECT_FALSE(layouts.select("no-such-layout"));
    EXPECT_EQ(lookUp(u"a"), std::nullopt);
}

}  // namespace
}  // namespace corvane
