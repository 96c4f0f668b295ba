#include "network/word_assembler.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace corvane {
namespace {

std::vector<std::uint32_t> feed(WordAssembler& assembler, std::vector<std::uint8_t> bytes) {
    std::vector<std::uint32_t> words;
    assembler.append(bytes, words);
    return words;
}

TEST(WordAssemblerTest, WholeWordsAreLittleEndianAndInOrder) {
    WordAssembler assembler;
    EXPECT_EQ(feed(assembler, {0x2A, 0, 0, 0, 0x05, 0, 0, 0x10, 0xFF, 0xFE, 0xFD, 0xFC}),
              (std::vector<std::uint32_t>{42, 0x10000005, 0xFCFDFEFF}));
    EXPECT_EQ(assembler.pendingBytes(), 0U);
}

TEST(WordAssemblerTest, WordSplitAcrossReadsIsReassembled) {
    WordAssembler oneThenThree;
    EXPECT_TRUE(feed(oneThenThree, {0x05}).empty());
    EXPECT_EQ(feed(oneThenThree, {0, 0, 0x10}), (std::vector<std::uint32_t>{0x10000005}));

    WordAssembler threeThenOne;
    EXPECT_TRUE(feed(threeThenOne, {0x05, 0, 0}).empty());
    EXPECT_EQ(feed(threeThenOne, {0x10, 0x2A, 0}), (std::vector<std::uint32_t>{0x10000005}));
    EXPECT_EQ(threeThenOne.pendingBytes(), 2U);
    // The kept bytes are those of the new word, never stale ones of the finished word.
    EXPECT_EQ(feed(threeThenOne, {0, 0}), (std::vector<std::uint32_t>{42}));
}

TEST(WordAssemblerTest, ByteByByteGivesTheSameWords) {
    WordAssembler assembler;
    const std::vector<std::uint8_t> stream = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<std::uint32_t> words;
    for (const std::uint8_t byte : stream) {
        assembler.append(std::vector<std::uint8_t>{byte}, words);
    }
    EXPECT_EQ(words, (std::vector<std::uint32_t>{0x04030201, 0x08070605}));
    EXPECT_EQ(assembler.pendingBytes(), 1U);
}

}  // namespace
}  // namespace corvane
