#include "command/command_table.h"

#include <gtest/gtest.h>

#include <random>

namespace corvane {
namespace {

// A command's keys as one line: fixed keys by short names (T: Command+T, 7 8 9 +: the
// keypad keys with Command+Option, P: Shift+P, Ret, Esc), texts as themselves; "none"
// when the word yields no sequence. Checks that a result is one level deep.
std::string keysOf(std::uint32_t word, TargetFamily family) {
    const std::optional<KeySequence> sequence = keySequenceForCommand(word, family);
    if (!sequence) {
        return "none";
    }
    static const char* const names[] = {"", "P", "Ret", "T", "7", "8", "9", "+", "Esc"};
    std::string line;
    for (const KeySequence& element : *sequence->asMultiple()) {
        const KeyType* key = element.asSingle();
        EXPECT_NE(key, nullptr);
        line += line.empty() ? "" : " ";
        line += key->kind() == KeyType::Case::string
                    ? std::string(key->text().begin(), key->text().end())
                    : names[static_cast<int>(key->kind())];
    }
    return line;
}

TEST(CommandTable, EntersPedalDiagramsFirstPedalFirst) {
    const struct {
        std::uint32_t word;
        const char* sibelius;
        const char* dorico;
    } cases[] = {
        {0x10000000, "T 9 9 9 + 9 9 9 9 Esc Esc", "P ^ ^ ^ ^ ^ ^ ^ Ret"},
        // Positions 1, 2, 0, 1, 2, 0, 1 from the lowest bits up.
        {0x10001249, "T 7 8 9 + 7 8 9 7 Esc Esc", "P - v ^ - v ^ - Ret"},
        // Position 3 is entered as 2 in Sibelius and cannot be entered in Dorico, not
        // even when only the last pedal has it.
        {0x10003FFF, "T 8 8 8 + 8 8 8 8 Esc Esc", "none"},
        {0x10003000, "T 9 9 9 + 9 9 9 8 Esc Esc", "none"},
        // Bits above the seventh pedal are ignored.
        {0x10FFC000, "T 9 9 9 + 9 9 9 9 Esc Esc", "P ^ ^ ^ ^ ^ ^ ^ Ret"},
        // Any other class yields nothing.
        {0x00000000, "none", "none"},
        {0x11000000, "none", "none"},
        {0x0F003FFF, "none", "none"},
        {0xFFFFFFFF, "none", "none"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(keysOf(c.word, TargetFamily::sibelius), c.sibelius) << std::hex << c.word;
        EXPECT_EQ(keysOf(c.word, TargetFamily::dorico), c.dorico) << std::hex << c.word;
    }
}

// The same mapping decoded independently: each pedal's two bits read by division.
std::string expectedKeys(std::uint32_t word, TargetFamily family) {
    if (word >> 24 != 0x10) {
        return "none";
    }
    const bool sibelius = family == TargetFamily::sibelius;
    std::string line = sibelius ? "T" : "P";
    for (int pedal = 0; pedal < 7; ++pedal) {
        const unsigned value = (word / (1U << (2 * pedal))) % 4;
        if (!sibelius && value == 3) {
            return "none";
        }
        line += sibelius ? std::string(" ") + "978"[std::min(value, 2U)]
                         : std::string(" ") + "^-v"[value];
        line += sibelius && pedal == 2 ? " +" : "";
    }
    return line + (sibelius ? " Esc Esc" : " Ret");
}

TEST(CommandTable, RandomWordsMatchAnIndependentDecoding) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<std::uint32_t> anyWord;
    for (int i = 0; i < 20000; ++i) {
        // Half of the words carry the pedal class, so both paths are well covered.
        std::uint32_t word = anyWord(random);
        word = i % 2 == 0 ? word : (0x10000000U | (word & 0xFFFFFF));
        for (TargetFamily family : {TargetFamily::sibelius, TargetFamily::dorico}) {
            ASSERT_EQ(keysOf(word, family), expectedKeys(word, family)) << std::hex << word;
        }
    }
}

}  // namespace
}  // namespace corvane
