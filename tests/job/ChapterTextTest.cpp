#include "job/ChapterText.h"

#include <gtest/gtest.h>

using namespace velmora;

struct BetweenCase {
    std::string name;
    std::string text;
    std::string left;
    std::string right;
    std::string expected;
};

void PrintTo(const BetweenCase& c, std::ostream* os) { *os << c.name; }

class TextBetweenTest : public testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetweenTest, CutsBetweenMarkers)
{
    const BetweenCase& c = GetParam();
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextBetweenTest, testing::Values(
    BetweenCase{"plain", "<div>body</div>", "<div>", "</div>", "body"},
    BetweenCase{"left missing", "<p>body</div>", "<div>", "</div>", ""},
    BetweenCase{"right only before left", "</div><div>body", "<div>", "</div>", ""},
    BetweenCase{"empty left starts at first byte", "body</div>", "", "</div>", "body"},
    BetweenCase{"empty right gives nothing", "<div>body</div>", "<div>", "", ""},
    BetweenCase{"first left, first right after it", "<div>a</div><div>b</div>", "<div>", "</div>", "a"},
    BetweenCase{"quote placeholder", "<div class=\"content\">x</div>",
                "div class=#\xD2\xFD\xBA\xC5" "content#\xD2\xFD\xBA\xC5>", "</div>", "x"},
    BetweenCase{"markers match case exactly", "<DIV>x</div>", "<div>", "</div>", ""},
    // The marker "A<" must not be found across the trail byte 'A' of 0x81 0x41.
    BetweenCase{"no match inside a double-byte character", "\x81" "A<b>A<x>", "A<", ">", "x"}
));

TEST(ChapterTextTest, BetweenHonoursStartAndIgnoreCase)
{
    EXPECT_EQ(TextBetween("[a][b]", "[", "]", 3), "b");
    EXPECT_EQ(TextBetween("<DIV>x</Div>", "<div>", "</div>", 0, true), "x");
}

struct CleanCase {
    std::string name;
    std::string text;
    std::string expected;
};

void PrintTo(const CleanCase& c, std::ostream* os) { *os << c.name; }

class CleanChapterTextTest : public testing::TestWithParam<CleanCase> {};

TEST_P(CleanChapterTextTest, Cleans)
{
    const CleanCase& c = GetParam();
    EXPECT_EQ(CleanChapterText(c.text), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CleanChapterTextTest, testing::Values(
    CleanCase{"entities", "&lsquo;&rsquo;&mdash;&hellip;&ldquo;&rdquo;&nbsp;&quot;",
              "\xA1\xAE\xA1\xAF\xA1\xAA\xA1\xAD\xA1\xB0\xA1\xB1 \""},
    CleanCase{"paragraphs", "<p>one</p><p>two</p>", "  one\r\n  two\r\n"},
    CleanCase{"line-break tags", "a<br />b<br/>c</br>d", "a\r\nb\r\nc\r\nd"},
    CleanCase{"question marks", "a????b", "a    b"},
    CleanCase{"left alone", "<br><BR/>&amp;&lt;&gt;&#12288;<P>", "<br><BR/>&amp;&lt;&gt;&#12288;<P>"},
    CleanCase{"two breaks", "a\r\n\r\nb", "a\r\nb"},
    CleanCase{"three breaks", "a\r\n\r\n\r\nb", "a\r\nb"},
    CleanCase{"four breaks", "a\r\n\r\n\r\n\r\nb", "a\r\nb"},
    CleanCase{"five breaks", "a\r\n\r\n\r\n\r\n\r\nb", "a\r\n\r\nb"},
    CleanCase{"six breaks", "a\r\n\r\n\r\n\r\n\r\n\r\nb", "a\r\nb"},
    CleanCase{"seven breaks", "a\r\n\r\n\r\n\r\n\r\n\r\n\r\nb", "a\r\n\r\nb"},
    CleanCase{"paragraph tags around blank lines", "<p>a</p>\r\n\r\n<p>b</p>", "  a\r\n  b\r\n"}
));
