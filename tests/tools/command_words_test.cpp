#include "command_words.h"

#include <gtest/gtest.h>

namespace corvane::peer {
namespace {

TEST(CommandWordsTest, HexWordsWithOrWithoutPrefixAnySpacingAndNothingElse) {
    EXPECT_EQ(parseCommandWords(" 0x10001249\n2a\t0XFFFFFFFF\r\n"),
              (std::vector<std::uint32_t>{0x10001249, 0x2A, 0xFFFFFFFF}));
    EXPECT_EQ(parseCommandWords(""), std::vector<std::uint32_t>{});
    for (const char* refused : {"0x", "0x100000000", "12 zz", "-1"}) {
        EXPECT_FALSE(parseCommandWords(refused)) << refused;
    }
}

TEST(CommandWordsTest, WireBytesAreLeastSignificantFirst) {
    EXPECT_EQ(wireBytes({0x10000005, 42}),
              (std::vector<std::uint8_t>{0x05, 0, 0, 0x10, 42, 0, 0, 0}));
}

}  // namespace
}  // namespace corvane::peer
