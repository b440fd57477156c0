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

void PrintTo(const BetweenCase& c, std::ostream* os)
{
    *os << c.name;
}

class TextBetweenTest : public testing::TestWithParam<BetweenCase> {};

TEST_P(TextBetweenTest, CutsBetweenMarkers)
{
    const BetweenCase& c = GetParam();
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected);
}

// clang-format off
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
// clang-format on

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

void PrintTo(const CleanCase& c, std::ostream* os)
{
    *os << c.name;
}

class CleanChapterTextTest : public testing::TestWithParam<CleanCase> {};

TEST_P(CleanChapterTextTest, Cleans)
{
    const CleanCase& c = GetParam();
    EXPECT_EQ(CleanChapterText(c.text), c.expected);
}

// clang-format off
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
// clang-format on

struct MarkupCase {
    std::string name;
    std::string text;  // as CleanChapterText left it
    std::string expected;
    std::vector<std::string> extraTexts = {};
};

void PrintTo(const MarkupCase& c, std::ostream* os)
{
    *os << c.name;
}

class RemoveRemainingMarkupTest : public testing::TestWithParam<MarkupCase> {};

TEST_P(RemoveRemainingMarkupTest, LeavesPlainText)
{
    const MarkupCase& c = GetParam();
    EXPECT_EQ(removeRemainingMarkup(c.text, c.extraTexts), c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RemoveRemainingMarkupTest, testing::Values(
    MarkupCase{"break forms", "a<br>b<BR/>c<br class=\"x\">d<Br\t/>e", "a\r\nb\r\nc\r\nd\r\ne"},
    MarkupCase{"paragraph forms", "<p class=\"t\">a</P><P>b", "\r\na\r\nb"},
    MarkupCase{"other tags dropped", "<div id=\"c\"><span>a</span><img src=\"x.png\"/>b</div>", "ab"},
    MarkupCase{"quoted > inside a tag", "<a title=\"1>2\" href='x>y'>link</a>", "link"},
    MarkupCase{"script and style with content",
               "a<script type=\"text/javascript\">if (x < 1) { show('</div>'); }</SCRIPT>b<style>p{}</style>c",
               "abc"},
    MarkupCase{"unclosed script runs to the end", "a<script>ad()", "a"},
    MarkupCase{"comments", "a<!-- <p>hidden</p> -->b", "ab"},
    MarkupCase{"text less-than stays", "1 < 2 and 3<4, a<", "1 < 2 and 3<4, a<"},
    MarkupCase{"unfinished tag stays", "a <b c", "a <b c"},
    MarkupCase{"named entities to GBK", "&amp;&lt;&gt;&apos;&middot;&times;&copy;&hellip;",
               "&<>'\xA1\xA4\xA1\xC1?\xA1\xAD"},
    MarkupCase{"numeric entities", "&#20013;&#x6587;&#X41;&#12288;", "\xD6\xD0\xCE\xC4" "A\xA1\xA1"},
    MarkupCase{"character GBK lacks", "&#x1F600;&hearts;&#xD800;", "???"},
    MarkupCase{"spaces", "a&#160;b&ensp;c&thinsp;d", "a b c d"},
    MarkupCase{"decoded once", "&amp;lt;p&amp;gt;", "&lt;p&gt;"},
    MarkupCase{"escaped tags are text", "&lt;br&gt;", "<br>"},
    MarkupCase{"unknown and bare ampersands stay", "AT&T &nosuch; &#xZZ; & ;", "AT&T &nosuch; &#xZZ; & ;"},
    MarkupCase{"zero-width and format characters", "a&#8203;b&zwnj;c&#xFEFF;d&shy;e&lrm;f", "abcdef"},
    MarkupCase{"control characters", std::string("a\x01" "b\x1F\x7F" "c\td&#7;e\0f", 15), "ab" "c\tdef"},
    MarkupCase{"blank lines folded like the table", "a<br><br><br>b<p></p>c", "a\r\nb\r\nc"},
    MarkupCase{"double-byte text untouched", "\x81<\xD6\xD0&\xB0\x26", "\x81<\xD6\xD0&\xB0\x26"},
    MarkupCase{"extra texts removed", "one\xB1\xBE\xD5\xC2\xCD\xEA two &#x6b64;AD",
               "one two ", {"\xB1\xBE\xD5\xC2\xCD\xEA", "\xB4\xCB" "AD", ""}},
    MarkupCase{"extra text only on character boundaries", "\x81" "AB", "\x81" "AB", {"AB"}}
));
// clang-format on

TEST(ChapterTextTest, RemainingMarkupGoesAfterTheTableLeavesItsWork)
{
    const std::string page = "<p>one&nbsp;<b>two</b></p><p class=\"x\">three&#65281;<br>\r\n<script>x()</script></p>";
    const std::string cleaned = CleanChapterText(page);
    EXPECT_EQ(cleaned, "  one <b>two</b>\r\n<p class=\"x\">three&#65281;<br>\r\n<script>x()</script>\r\n");
    EXPECT_EQ(removeRemainingMarkup(cleaned), "  one two\r\nthree\xA3\xA1\r\n");
}
