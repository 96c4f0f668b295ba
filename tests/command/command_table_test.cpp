#include "command/command_table.h"

#include <gtest/gtest.h>

#include <random>

#include "support/describe_sequence.h"

namespace corvane {
namespace {

using testing::describe;
using Items = std::vector<std::string>;

std::optional<Items> itemsFor(std::uint32_t word, TargetFamily family) {
    std::optional<KeySequence> sequence = keySequenceForCommand(word, family);
    if (!sequence) {
        return std::nullopt;
    }
    // Every result is one level deep: a multiple of singles.
    EXPECT_NE(sequence->asMultiple(), nullptr);
    for (const KeySequence& element : *sequence->asMultiple()) {
        EXPECT_NE(element.asSingle(), nullptr);
    }
    return describe(*sequence);
}

TEST(CommandTable, AllPositionsZero) {
    EXPECT_EQ(itemsFor(0x10000000, TargetFamily::sibelius),
              (Items{"command_t", "command_option_keypad9", "command_option_keypad9",
                     "command_option_keypad9", "command_option_keypadplus",
                     "command_option_keypad9", "command_option_keypad9", "command_option_keypad9",
                     "command_option_keypad9", "escape", "escape"}));
    EXPECT_EQ(itemsFor(0x10000000, TargetFamily::dorico),
              (Items{"shift_p", "^", "^", "^", "^", "^", "^", "^", "returnKey"}));
}

TEST(CommandTable, MixedPositionsArePlacedFirstPedalFirst) {
    // Positions 1, 2, 0, 1, 2, 0, 1 from the lowest bits up.
    EXPECT_EQ(itemsFor(0x10001249, TargetFamily::sibelius),
              (Items{"command_t", "command_option_keypad7", "command_option_keypad8",
                     "command_option_keypad9", "command_option_keypadplus",
                     "command_option_keypad7", "command_option_keypad8", "command_option_keypad9",
                     "command_option_keypad7", "escape", "escape"}));
    EXPECT_EQ(itemsFor(0x10001249, TargetFamily::dorico),
              (Items{"shift_p", "-", "v", "^", "-", "v", "^", "-", "returnKey"}));
}

TEST(CommandTable, PositionThree) {
    const std::optional<Items> sibelius = itemsFor(0x10003FFF, TargetFamily::sibelius);
    ASSERT_TRUE(sibelius);
    for (int i : {1, 2, 3, 5, 6, 7, 8}) {
        EXPECT_EQ((*sibelius)[i], "command_option_keypad8");
    }
    EXPECT_FALSE(itemsFor(0x10003FFF, TargetFamily::dorico));
    // A single 3, in the last pedal, still rejects the whole Dorico command.
    EXPECT_FALSE(itemsFor(0x10003000, TargetFamily::dorico));
    EXPECT_FALSE(itemsFor(0x10000003, TargetFamily::dorico));
}

TEST(CommandTable, IgnoresBitsAboveTheLastPedal) {
    for (TargetFamily family : {TargetFamily::sibelius, TargetFamily::dorico}) {
        EXPECT_EQ(itemsFor(0x10FFC000, family), itemsFor(0x10000000, family));
    }
}

TEST(CommandTable, RejectsOtherClasses) {
    for (std::uint32_t word : {0x00000000U, 0x11000000U, 0x0F003FFFU, 0xFFFFFFFFU, 0x01000010U}) {
        EXPECT_FALSE(itemsFor(word, TargetFamily::sibelius)) << std::hex << word;
        EXPECT_FALSE(itemsFor(word, TargetFamily::dorico)) << std::hex << word;
    }
}

// A decoding written independently of the table: read each pedal's two bits directly.
std::optional<Items> expectedItems(std::uint32_t word, TargetFamily family) {
    if (word >> 24 != 0x10) {
        return std::nullopt;
    }
    const char* const sibeliusKeys[] = {"command_option_keypad9", "command_option_keypad7",
                                        "command_option_keypad8", "command_option_keypad8"};
    const char* const doricoKeys[] = {"^", "-", "v", nullptr};
    Items items{family == TargetFamily::sibelius ? "command_t" : "shift_p"};
    for (int pedal = 0; pedal < 7; ++pedal) {
        const unsigned value = (word / (1U << (2 * pedal))) % 4;
        if (family == TargetFamily::sibelius) {
            items.emplace_back(sibeliusKeys[value]);
            if (pedal == 2) {
                items.emplace_back("command_option_keypadplus");
            }
        } else if (doricoKeys[value] == nullptr) {
            return std::nullopt;
        } else {
            items.emplace_back(doricoKeys[value]);
        }
    }
    if (family == TargetFamily::sibelius) {
        items.insert(items.end(), {"escape", "escape"});
    } else {
        items.emplace_back("returnKey");
    }
    return items;
}

TEST(CommandTable, RandomWordsMatchAnIndependentDecoding) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<std::uint32_t> anyWord;
    std::uniform_int_distribution<std::uint32_t> lowBits(0, 0xFFFFFF);
    for (int i = 0; i < 20000; ++i) {
        // Half of the words carry the pedal class, so both paths are well covered.
        const std::uint32_t word = i % 2 == 0 ? anyWord(random) : (0x10000000U | lowBits(random));
        for (TargetFamily family : {TargetFamily::sibelius, TargetFamily::dorico}) {
            ASSERT_EQ(itemsFor(word, family), expectedItems(word, family)) << std::hex << word;
        }
    }
}

}  // namespace
}  // namespace corvane
