#include "core/Text.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {
// GBK characters whose trail byte equals an ASCII character.
constexpr const char* kTrailA = "\x81\x41";      // trail byte 'A'
constexpr const char* kTrailSlash = "\x81\x5C";  // trail byte '\'
constexpr const char* kTrailBar = "\x81\x7C";    // trail byte '|'
constexpr const char* kZhong = "\xD6\xD0";       // 中
constexpr const char* kWideSpace = "\xA1\xA1";
}  // namespace

struct FindCase {
    std::string text;
    std::string needle;
    int start;
    bool ignoreCase;
    int expected;
};

void PrintTo(const FindCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.needle);
}

class FindTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindTest, FindsOnCharacterBoundariesOnly)
{
    const FindCase& c = GetParam();
    EXPECT_EQ(text::find(c.text, c.needle, c.start, c.ignoreCase), c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, FindTest, testing::Values(
    FindCase{"abcabc", "c", 1, false, 3},
    FindCase{"abcabc", "c", 4, false, 6},
    FindCase{"abcabc", "C", 1, false, -1},
    FindCase{"abcabc", "C", 1, true, 3},
    FindCase{"abc", "x", 1, false, -1},
    FindCase{"abc", "", 2, false, 2},
    FindCase{"abc", "a", 0, false, 1},
    FindCase{"abc", "a", 5, false, -1},
    FindCase{std::string(kTrailA) + "A", "A", 1, false, 3},
    FindCase{std::string(kTrailA) + "a", "A", 1, true, 3},
    FindCase{std::string(kTrailA), "a", 1, true, -1},
    FindCase{std::string(kTrailSlash) + "\\", "\\", 1, false, 3},
    FindCase{std::string(kTrailBar) + "x|", "|", 1, false, 4},
    FindCase{std::string(kZhong) + kZhong, kZhong, 2, false, 3},  // a start inside a character moves on
    FindCase{std::string("x") + kTrailA + "A", std::string(kTrailA) + "a", 1, true, 2},
    FindCase{std::string("\xD0\xD6\xD0"), kZhong, 1, false, -1}   // D6 D0 straddles two characters
));
// clang-format on

TEST(TextTest, FindLastLiesWhollyBeforePosition)
{
    EXPECT_EQ(text::findLast("a/b/c/d", "/", 8), 6);
    EXPECT_EQ(text::findLast("a/b/c/d", "/", 6), 4);
    EXPECT_EQ(text::findLast("a/b/c/d", "/", 2), -1);
    EXPECT_EQ(text::findLast("a/b", "/", 100), 2);
    EXPECT_EQ(text::findLast(std::string(kTrailSlash) + "/", "\\", 10), -1);
}

TEST(TextTest, ReplaceAllResumesAfterInsertedText)
{
    EXPECT_EQ(text::replaceAll("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(text::replaceAll("\r\n\r\n\r\n\r\n", "\r\n\r\n", "\r\n"), "\r\n\r\n");
    EXPECT_EQ(text::replaceAll("xAxa", "a", "-", true), "x-x-");
    EXPECT_EQ(text::replaceAll(std::string(kTrailA) + "A", "A", "b"), std::string(kTrailA) + "b");
    EXPECT_EQ(text::replaceAll("abc", "", "x"), "abc");
}

TEST(TextTest, CountOccurrencesIsNonOverlapping)
{
    EXPECT_EQ(text::countOccurrences("aaaa", "aa", true), 2);
    EXPECT_EQ(text::countOccurrences("a/B/b", "b", false), 2);
    EXPECT_EQ(text::countOccurrences("a/B/b", "b", true), 1);
    EXPECT_EQ(text::countOccurrences("", "a", true), 0);
    EXPECT_EQ(text::countOccurrences("a", "", true), 0);
}

TEST(TextTest, SpacesAreAsciiAndFullWidth)
{
    const std::string padded = std::string(" ") + kWideSpace + "a b" + kWideSpace + kZhong + "  ";
    EXPECT_EQ(text::trimSpaces(padded), std::string("a b") + kWideSpace + kZhong);
    EXPECT_EQ(text::removeSpaces(padded), std::string("ab") + kZhong);
    // A1 A1 straddling two characters is not a space.
    const std::string straddle = "\xB0\xA1\xA1\xB0";
    EXPECT_EQ(text::removeSpaces(straddle), straddle);
    EXPECT_EQ(text::trimSpaces("   "), "");
}

TEST(TextTest, LowerCaseLeavesTrailBytes)
{
    EXPECT_EQ(text::toLowerAscii(std::string("AbC") + kTrailA), std::string("abc") + kTrailA);
}

TEST(TextTest, SplitKeepsEmptyPieces)
{
    EXPECT_EQ(text::split("a;;b;", ";"), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_TRUE(text::split("", ";").empty());
}

TEST(TextTest, LeadingIntAndDecimal)
{
    EXPECT_EQ(text::leadingInt("8443/x"), 8443);
    EXPECT_EQ(text::leadingInt("abc"), 0);
    EXPECT_EQ(text::leadingInt("-12"), -12);
    EXPECT_EQ(text::leadingInt("99999999999"), 2147483647);
    EXPECT_EQ(text::decimal(0), "0");
    EXPECT_EQ(text::decimal(-42), "-42");
}

TEST(TextTest, BetweenTakesFirstRightAfterFirstLeft)
{
    EXPECT_EQ(text::between("x<a>1</a><a>2</a>", "<a>", "</a>"), "1");
    EXPECT_EQ(text::between("</a>x<a>", "<a>", "</a>"), "");
    EXPECT_EQ(text::between("abc", "", "c"), "ab");
    EXPECT_EQ(text::between("abc", "a", ""), "");
}

// Many hits in a long, mostly double-byte text must stay linear: a quadratic
// pass over 8 MB would take minutes, this one a fraction of a second.
TEST(TextTest, LongTextWithManyHitsStaysLinear)
{
    std::string big;
    for (int i = 0; i < 400000; ++i) {
        big += kZhong;
        big += kZhong;
        big += "<br/>";
        big += kZhong;
        big += kZhong;
        big += kZhong;
        big += kZhong;
        big += kZhong;
    }
    const std::string replaced = text::replaceAll(big, "<br/>", "\r\n");
    EXPECT_EQ(text::countOccurrences(replaced, "\r\n", true), 400000);
    EXPECT_EQ(text::countOccurrences(big, std::string(kZhong) + kZhong, true), 1200000);
}

struct LineBreakCase {
    const char* label;
    std::string stored;
    std::string edited;  // as the box gives it back, breaks as LF
    std::string expected;
};

void PrintTo(const LineBreakCase& c, std::ostream* os)
{
    *os << c.label;
}

class RestoreLineBreaksTest : public testing::TestWithParam<LineBreakCase> {};

TEST_P(RestoreLineBreaksTest, KeepsStoredBreaksTheEditLeftAlone)
{
    EXPECT_EQ(text::restoreLineBreaks(GetParam().edited, GetParam().stored), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RestoreLineBreaksTest, testing::Values(
    LineBreakCase{"typed before a final lone CR", "<h1>(.*?)</h1>\r", "<h1>(.*?)</h1>x\n", "<h1>(.*?)</h1>x\r"},
    LineBreakCase{"typed at the front", "a\rb\r\nc\n", "Xa\nb\nc\n", "Xa\rb\r\nc\n"},
    LineBreakCase{"typed between two kinds", "a\rb\r\n", "a\nXb\n", "a\rXb\r\n"},
    LineBreakCase{"new break typed", "ab\r", "a\nb\n", "a\r\nb\r"},
    LineBreakCase{"break deleted", "a\rb\r\nc", "ab\nc", "ab\r\nc"},
    LineBreakCase{"text after the break typed", "a\r", "a\nb", "a\rb"},
    LineBreakCase{"everything replaced", "a\rb\r", "x\ny", "x\r\ny"},
    LineBreakCase{"emptied", "a\r", "", ""},
    LineBreakCase{"double-byte text", "\xD6\xD0\r", "\xD6\xD0\xD6\xD0\n", "\xD6\xD0\xD6\xD0\r"},
    LineBreakCase{"nothing stored", "", "a\nb", "a\r\nb"}
));
// clang-format on

TEST(TextTest, XmlEscapingLeavesTrailBytesAndApostrophesAsAsked)
{
    // Appends to what `out` holds; double-byte characters pass whole.
    const std::string in = "a&b<c>d\"e'f \xD6\xD0";
    std::string kept = "[";
    text::appendXmlEscaped(kept, in, text::Apostrophe::kept);
    EXPECT_EQ(kept, "[a&amp;b&lt;c&gt;d&quot;e'f \xD6\xD0");
    std::string escaped;
    text::appendXmlEscaped(escaped, in, text::Apostrophe::escaped);
    EXPECT_EQ(escaped, "a&amp;b&lt;c&gt;d&quot;e&apos;f \xD6\xD0");
}
