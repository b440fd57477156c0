#include "core/Encoding.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(EncodingTest, RoundTripsChineseAndAscii)
{
    EXPECT_EQ(encoding::toGbk("\xE4\xB8\xAD\xE6\x96\x87"), "\xD6\xD0\xCE\xC4");  // 中文
    EXPECT_EQ(encoding::gbkToUtf8("\xD6\xD0\xCE\xC4"), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(encoding::toGbk("plain <ascii>"), "plain <ascii>");
    EXPECT_EQ(encoding::toGbk(""), "");
}

TEST(EncodingTest, UnrepresentableAndMalformedBecomeQuestionMarks)
{
    // clang-format off
    EXPECT_EQ(encoding::toGbk("a\xF0\x9F\x98\x80" "b"), "a?b");   // an emoji: one character, one "?"
    EXPECT_EQ(encoding::toGbk("a\xFF\xFE" "b"), "a??b");          // two stray bytes
    // clang-format on
    EXPECT_EQ(encoding::toGbk("a\xE4\xB8"), "a??");  // cut short at the end
    EXPECT_EQ(encoding::toGbk(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(EncodingTest, LongRunsOfUnrepresentableCharactersConvert)
{
    std::string utf8;
    std::string expected;
    for (int i = 0; i < 50000; ++i) {
        // clang-format off
        utf8 += "\xEA\xB0\x80" "\xE4\xB8\xAD";   // a Hangul syllable, then 中
        // clang-format on
        expected += "?\xD6\xD0";
    }
    EXPECT_TRUE(encoding::toGbk(utf8) == expected);
}

TEST(EncodingTest, InvalidGbkBytesBecomeReplacementCharacters)
{
    // clang-format off
    EXPECT_EQ(encoding::gbkToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    // clang-format on
}

TEST(EncodingTest, LargeTextConvertsWhole)
{
    std::string utf8;
    for (int i = 0; i < 100000; ++i) {
        // clang-format off
        utf8 += "\xE4\xB8\xAD" "x";
        // clang-format on
    }
    EXPECT_EQ(encoding::toGbk(utf8).size(), 300000u);
}
