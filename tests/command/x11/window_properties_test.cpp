#include "command/x11/window_properties.h"

#include <gtest/gtest.h>

namespace corvane::x11 {
namespace {

using namespace std::string_literals;

TEST(WindowPropertiesTest, ClassIsTheSecondStringOfWmClassInUtf8) {
    EXPECT_EQ(classFromWmClass("sibelius\0com.avid.sibelius\0"s), "com.avid.sibelius");
    EXPECT_EQ(classFromWmClass("a\0b"s), "b");                   // last NUL missing
    EXPECT_EQ(classFromWmClass("\0Caf\xE9\0"s), "Caf\xC3\xA9");  // Latin-1 é
    EXPECT_EQ(classFromWmClass("a\0b\0c\0"s), "b");
    EXPECT_EQ(classFromWmClass("only-instance"s), std::nullopt);
    EXPECT_EQ(classFromWmClass("instance\0"s), std::nullopt);
    EXPECT_EQ(classFromWmClass(""s), std::nullopt);
}

TEST(WindowPropertiesTest, GtkApplicationIdEndsAtTheFirstNul) {
    EXPECT_EQ(applicationIdFromUtf8("com.steinberg.dorico9"s), "com.steinberg.dorico9");
    EXPECT_EQ(applicationIdFromUtf8("com.steinberg.dorico9\0\0"s), "com.steinberg.dorico9");
    EXPECT_EQ(applicationIdFromUtf8("\0com.avid.sibelius"s), std::nullopt);
    EXPECT_EQ(applicationIdFromUtf8(""s), std::nullopt);
}

}  // namespace
}  // namespace corvane::x11
