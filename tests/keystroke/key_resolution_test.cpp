#include "keystroke/key_resolution.h"

#include <gtest/gtest.h>

#include <map>

#include "keystroke/event_posting.h"
#include "support/recording_keyboard_events.h"

namespace corvane {
namespace {

// A layout whose keys produce the texts it is told, only without modifiers or with Shift.
class ScriptedLayout final : public KeyboardLayout, public KeyboardLayoutSource {
  public:
    std::map<std::pair<std::uint16_t, std::uint8_t>, std::u16string> texts;
    bool available = true;

    bool translate(std::uint16_t key, std::uint8_t state, std::uint8_t, std::uint32_t&,
                   std::span<char16_t> output, std::size_t& length) override {
        const auto found = texts.find({key, state});
        length = 0;
        if (found != texts.end()) {
            for (char16_t unit : found->second) {
                output[length++] = unit;
            }
        }
        return true;
    }
    std::uint8_t keyboardType() const override { return 0; }
    std::shared_ptr<KeyboardLayout> currentLayout() override {
        return available ? std::shared_ptr<KeyboardLayout>(this, [](KeyboardLayout*) {}) : nullptr;
    }
};

KeySequence fixed(KeyType::Case key) {
    return KeySequence::single(KeyType::fixed(key));
}
KeySequence text(std::u16string value) {
    return KeySequence::single(KeyType::string(value));
}

using Press = KeyCodePair;

class KeyResolutionTest : public ::testing::Test {
  protected:
    KeyResolutionTest() {
        layout.texts[{0x00, 0}] = u"a";
        layout.texts[{0x00, 2}] = u"A";
        layout.texts[{0x0B, 0}] = u"b";
        layout.texts[{0x08, 0}] = u"c";
        layout.texts[{0x02, 0}] = u"d";
    }
    std::vector<Press> resolveAndPost(const KeySequence& sequence) {
        const std::optional<KeyCodeSequence> resolved = resolveKeySequence(layout, sequence);
        if (resolved) {
            postKeyCodeSequence(events, *resolved);
        }
        return events.presses();
    }
    ScriptedLayout layout;
    testing::RecordingKeyboardEvents events;
};

TEST_F(KeyResolutionTest, FixedKeysHaveTheirPairsWithoutAnyLayout) {
    layout.available = false;
    using C = KeyType::Case;
    const CGEventFlags commandOption = EventFlags::command | EventFlags::option;
    EXPECT_EQ(resolveAndPost(KeySequence::multiple(
                  {fixed(C::shift_p), fixed(C::returnKey), fixed(C::command_t),
                   fixed(C::command_option_keypad7), fixed(C::command_option_keypad8),
                   fixed(C::command_option_keypad9), fixed(C::command_option_keypadplus),
                   fixed(C::escape)})),
              (std::vector<Press>{{0x23, 0x20000},
                                  {0x24, 0},
                                  {0x11, 0x100000},
                                  {0x59, commandOption},
                                  {0x5B, commandOption},
                                  {0x5C, commandOption},
                                  {0x45, commandOption},
                                  {0x35, 0}}));
}

TEST_F(KeyResolutionTest, TextsTakeTheirModifiersAsFlags) {
    EXPECT_EQ(resolveAndPost(KeySequence::multiple({text(u"a"), text(u"A")})),
              (std::vector<Press>{{0x00, 0}, {0x00, EventFlags::shift}}));
}

TEST_F(KeyResolutionTest, OneUntypableItemDropsTheWholeSequence) {
    EXPECT_FALSE(
        resolveKeySequence(layout, KeySequence::multiple({fixed(KeyType::Case::shift_p), text(u"a"),
                                                          text(u"z"), text(u"b")})));
    // Text is never split into characters.
    EXPECT_FALSE(resolveKeySequence(layout, text(u"ab")));
    layout.available = false;
    EXPECT_FALSE(resolveKeySequence(layout, text(u"a")));
    EXPECT_TRUE(events.posted.empty());
}

TEST_F(KeyResolutionTest, NestedSequencesKeepTheirShapeAndPostDepthFirst) {
    const KeySequence nested = KeySequence::multiple(
        {text(u"a"), KeySequence::multiple({text(u"b"), KeySequence::multiple({}), text(u"c")}),
         text(u"d")});
    const std::optional<KeyCodeSequence> resolved = resolveKeySequence(layout, nested);
    ASSERT_TRUE(resolved);
    const std::vector<KeyCodeSequence>& top = *resolved->asMultiple();
    ASSERT_EQ(top.size(), 3U);
    ASSERT_NE(top[1].asMultiple(), nullptr);
    EXPECT_EQ(top[1].asMultiple()->size(), 3U);
    EXPECT_EQ(resolveAndPost(nested),
              (std::vector<Press>{{0x00, 0}, {0x0B, 0}, {0x08, 0}, {0x02, 0}}));
}

TEST_F(KeyResolutionTest, AnEmptySequenceResolvesAndPostsNothing) {
    const std::optional<KeyCodeSequence> resolved =
        resolveKeySequence(layout, KeySequence::multiple({}));
    ASSERT_TRUE(resolved);
    ASSERT_NE(resolved->asMultiple(), nullptr);
    EXPECT_TRUE(resolved->asMultiple()->empty());
    postKeyCodeSequence(events, *resolved);
    EXPECT_TRUE(events.posted.empty());
}

TEST(EventPosting, AFailedSourceSkipsOnlyItsKey) {
    testing::RecordingKeyboardEvents events;
    events.failingSources = {2};
    postKeyCodeSequence(events, KeyCodeSequence::multiple({KeyCodeSequence::single({1, 0}),
                                                           KeyCodeSequence::single({2, 0}),
                                                           KeyCodeSequence::single({3, 0})}));
    EXPECT_EQ(events.presses(), (std::vector<Press>{{1, 0}, {3, 0}}));
}

TEST(EventPosting, AFailedEventStillPostsTheOther) {
    for (bool upFails : {true, false}) {
        testing::RecordingKeyboardEvents events;
        events.failingDirectionIsUp = upFails;
        postKey(events, 7, EventFlags::shift);
        ASSERT_EQ(events.posted.size(), 1U);
        EXPECT_EQ(events.posted[0].keyDown, upFails);  // the other direction is posted
        EXPECT_EQ(events.posted[0].flags, EventFlags::shift);
    }
}

TEST(EventPosting, TheStartUpPressIsAPlainShift) {
    testing::RecordingKeyboardEvents events;
    postKey(events, leftShiftKeyCode, 0);
    EXPECT_EQ(events.presses(), (std::vector<Press>{{56, 0}}));
}

TEST(EventFlagsConversion, EachModifierBitGivesItsFlag) {
    EXPECT_EQ(eventFlagsForModifierState(0), 0U);
    EXPECT_EQ(eventFlagsForModifierState(0x200), 0x20000U);
    EXPECT_EQ(eventFlagsForModifierState(0x800), 0x80000U);
    EXPECT_EQ(eventFlagsForModifierState(0xA00), 0xA0000U);
    EXPECT_EQ(eventFlagsForModifierState(0x1000), 0x40000U);
    EXPECT_EQ(eventFlagsForModifierState(0x100), 0x100000U);
    EXPECT_EQ(eventFlagsForModifierState(0x400), 0U);  // Caps Lock adds nothing
}

}  // namespace
}  // namespace corvane
