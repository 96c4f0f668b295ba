#include "network/word_assembler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace corvane {
namespace {

TEST(WordAssemblerTest, CutsLittleEndianWordsHoweverTheReadsSplitThem) {
    using Bytes = std::vector<std::uint8_t>;
    const struct {
        std::vector<Bytes> reads;
        std::vector<std::uint32_t> words;
        std::size_t pendingBytes;
    } cases[] = {
        {{{0x2A, 0, 0, 0, 0x05, 0, 0, 0x10, 0xFF, 0xFE, 0xFD, 0xFC}},
         {42, 0x10000005, 0xFCFDFEFF},
         0},
        {{{0x05}, {0, 0, 0x10}}, {0x10000005}, 0},
        // What is kept after a word is finished is the start of the next, never stale bytes.
        {{{0x05, 0, 0}, {0x10, 0x2A, 0}, {0, 0}}, {0x10000005, 42}, 0},
        {{{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9}}, {0x04030201, 0x08070605}, 1},
    };
    for (const auto& c : cases) {
        WordAssembler assembler;
        std::vector<std::uint32_t> words;
        for (const Bytes& read : c.reads) {
            assembler.append(read, words);
        }
        EXPECT_EQ(words, c.words);
        EXPECT_EQ(assembler.pendingBytes(), c.pendingBytes);
    }
}

}  // namespace
}  // namespace corvane
