#include "keystroke/key_resolution.h"

#include <gtest/gtest.h>

#include "keystroke/event_posting.h"
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

    // The presses posted for the sequence; none when it does not resolve.
    std::vector<KeyCodePair> resolveAndPost(const KeySequence& sequence) {
        if (const std::optional<KeyCodeSequence> resolved = resolveKeySequence(layouts, sequence)) {
            postKeyCodeSequence(events, *resolved);
        }
        return events.presses();
    }
    xkb::NamedLayouts layouts;
    testing::RecordingKeyboardEvents events;
};

TEST_F(KeyResolutionTest, FixedKeysHaveTheirPairsWithoutAnyLayout) {
    layouts.clear();
    using C = KeyType::Case;
    const CGEventFlags commandOption = EventFlags::command | EventFlags::option;
    EXPECT_EQ(
        resolveAndPost(list({fixed(C::shift_p), fixed(C::returnKey), fixed(C::command_t),
                             fixed(C::command_option_keypad7), fixed(C::command_option_keypad8),
                             fixed(C::command_option_keypad9), fixed(C::command_option_keypadplus),
                             fixed(C::escape)})),
        (std::vector<KeyCodePair>{{0x23, 0x20000},
                                  {0x24, 0},
                                  {0x11, 0x100000},
                                  {0x59, commandOption},
                                  {0x5B, commandOption},
                                  {0x5C, commandOption},
                                  {0x45, commandOption},
                                  {0x35, 0}}));
}

TEST_F(KeyResolutionTest, NestedTextsKeepTheirPlaceAndTakeTheirModifiersAsFlags) {
    // [a, [A, [], c], d] posts a, A (Shift), c, d, each down then up.
    EXPECT_EQ(
        resolveAndPost(list({text(u"a"), list({text(u"A"), list({}), text(u"c")}), text(u"d")})),
        (std::vector<KeyCodePair>{{0x00, 0}, {0x00, EventFlags::shift}, {0x08, 0}, {0x02, 0}}));
    const std::optional<KeyCodeSequence> empty = resolveKeySequence(layouts, list({}));
    ASSERT_TRUE(empty && empty->asMultiple());  // empty, but not absent
    EXPECT_TRUE(empty->asMultiple()->empty());
}

TEST_F(KeyResolutionTest, OneUntypableItemDropsTheWholeSequence) {
    // 'é' is not on "us"; a text is never split into characters.
    EXPECT_TRUE(resolveAndPost(
                    list({fixed(KeyType::Case::shift_p), text(u"a"), text(u"\u00E9"), text(u"b")}))
                    .empty());
    EXPECT_FALSE(resolveKeySequence(layouts, text(u"ab")));
    layouts.clear();
    EXPECT_FALSE(resolveKeySequence(layouts, text(u"a")));
}

TEST(EventPosting, AFailureSkipsOnlyWhatFailed) {
    testing::RecordingKeyboardEvents events;
    events.failingSources = {2};
    postKeyCodeSequence(events, KeyCodeSequence::multiple({KeyCodeSequence::single({1, 0}),
                                                           KeyCodeSequence::single({2, 0}),
                                                           KeyCodeSequence::single({3, 0})}));
    EXPECT_EQ(events.presses(), (std::vector<KeyCodePair>{{1, 0}, {3, 0}}));

    for (bool upFails : {true, false}) {
        testing::RecordingKeyboardEvents oneSided;
        oneSided.failingDirectionIsUp = upFails;
        postKey(oneSided, 7, EventFlags::shift);
        ASSERT_EQ(oneSided.posted.size(), 1U);
        EXPECT_EQ(oneSided.posted[0].keyDown, upFails);  // the other direction is posted
        EXPECT_EQ(oneSided.posted[0].flags, EventFlags::shift);
    }
}

TEST(EventPosting, TheStartUpPressIsAPlainShift) {
    testing::RecordingKeyboardEvents events;
    postKey(events, leftShiftKeyCode, 0);
    EXPECT_EQ(events.presses(), (std::vector<KeyCodePair>{{56, 0}}));
}

TEST(EventFlagsConversion, EachModifierBitGivesItsFlag) {
    EXPECT_EQ(eventFlagsForModifierState(0xA00), 0xA0000U);
    EXPECT_EQ(eventFlagsForModifierState(0x1000), 0x40000U);
    EXPECT_EQ(eventFlagsForModifierState(0x100), 0x100000U);
    EXPECT_EQ(eventFlagsForModifierState(0x400), 0U);  // Caps Lock adds nothing
}

}  // namespace
}  // namespace corvane
