#include "command/command_table.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace corvane
