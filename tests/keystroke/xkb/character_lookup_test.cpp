#include "keystroke/character_lookup.h"

#include <gtest/gtest.h>

#include "keystroke/xkb/named_layouts.h"
#include "support/key_and_state.h"

namespace corvane {
namespace {

TEST(CharacterLookup, FindsTheFirstKeyAndStateOnRealLayouts) {
    const struct {
        const char* layout;
        std::u16string_view text;
        const char* expected;
    } cases[] = {
        {"us", u"^", "16/200"},  // Shift+6
        {"us", u"-", "1b/0"},       {"us", u"v", "9/0"},
        {"us", u"q", "c/0"},  // a capital is found on the same key with Shift
        {"us", u"Q", "c/200"},      {"us", u"5", "17/0"},  // main row before keypad 5
        {"us", u"+", "18/200"},                            // Shift+= before keypad +
        {"fr", u"a", "c/0"},     // AZERTY: 'a' where 'q' is on US keyboards
        {"fr", u"1", "12/200"},  // digits are shifted on AZERTY
        {"fr", u"^", "19/800"},  // Option is Level 3: AltGr+9
        {"fr", u"\u20AC", "e/800"}, {"de", u"^", "none"},  // only a dead key there
        {"de", u"-", "2c/0"},
    };
    // One source throughout: each switch of layout counts from the next lookup.
    xkb::NamedLayouts layouts;
    for (const auto& c : cases) {
        ASSERT_TRUE(layouts.select(c.layout)) << c.layout;
        EXPECT_EQ(testing::keyAndState(layouts, c.text), c.expected) << c.layout;
    }
}

}  // namespace
}  // namespace corvane
