#include "core/RegexObject.h"

#include "core/Encoding.h"
#include "support/Gbk.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace velmora;

namespace {

using velmora::test::gbk;

TEST(RegexObjectTest, FreshObjectIsEmpty)
{
    const RegexObject regex;
    EXPECT_EQ(regex.currentPattern(), "");
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.groupCount(), 0);
    EXPECT_EQ(regex.groupText(1, 1), "");
    EXPECT_EQ(regex.replaceAll("x"), "");
}

TEST(RegexObjectTest, InvalidPatternFailsAndLeavesNothing)
{
    RegexObject regex;
    ASSERT_TRUE(regex.run("(a)", "a"));
    EXPECT_FALSE(regex.run("<a href=\"(.*?\">", "<a href=\"x\">"));
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.groupCount(), 0);
    EXPECT_EQ(regex.groupText(1, 1), "");
    EXPECT_EQ(regex.matchText(1), "");
    EXPECT_EQ(regex.replaceAll("x"), "");
    EXPECT_EQ(regex.currentPattern(), "<a href=\"(.*?\">");
}

TEST(RegexObjectTest, FailureSaysWhyAndWhereInCharacters)
{
    struct Case {
        std::string pattern;
        int offset;
        const char* message;  // part of PCRE2's wording
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"<a href=\"(.*?\">", 15, "missing closing parenthesis"},
        {gbk("作者[:(.*?)"), 9, "missing terminating ]"},
        {gbk("书名*+?"), 4, "quantifier does not follow a repeatable item"},  // counted in characters, not bytes
    };
    RegexObject regex;
    for (const Case& c : cases) {
        EXPECT_FALSE(regex.run(c.pattern, "x"));
        EXPECT_EQ(regex.errorOffset(), c.offset) << c.pattern;
        EXPECT_NE(regex.errorMessage().find(c.message), std::string::npos) << regex.errorMessage();
    }
    // A run that succeeds clears the failure and tells where its groups lie.
    ASSERT_TRUE(regex.run(gbk("名(.)|(x)"), gbk("书名甲")));
    EXPECT_EQ(regex.errorOffset(), -1);
    EXPECT_EQ(regex.errorMessage(), "");
    std::size_t begin = 0;
    std::size_t end = 0;
    ASSERT_TRUE(regex.groupRange(1, 1, begin, end));
    EXPECT_EQ(begin, 4u);
    EXPECT_EQ(end, 6u);
    EXPECT_FALSE(regex.groupRange(1, 2, begin, end));  // took no part
    EXPECT_FALSE(regex.groupRange(2, 0, begin, end));
}

TEST(RegexObjectTest, NoMatchIsSuccessWithNothingFound)
{
    RegexObject regex;
    EXPECT_TRUE(regex.run("<h1>(.*?)</h1>", "<h2>x</h2>"));
    EXPECT_EQ(regex.matchCount(), 0);
    EXPECT_EQ(regex.groupCount(), 0);
    EXPECT_EQ(regex.replaceAll("y"), "<h2>x</h2>");
}

TEST(RegexObjectTest, IgnoresCaseUnlessAsked)
{
    const std::string page = "<LI><A HREF=\"1.html\">One</A></LI>";
    RegexObject regex;
    ASSERT_TRUE(regex.run("<li><a href=\"(.*?)\">(.*?)</a></li>", page));
    EXPECT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.groupText(1, 2), "One");
    ASSERT_TRUE(regex.run("<li><a href=\"(.*?)\">(.*?)</a></li>", page, true));
    EXPECT_EQ(regex.matchCount(), 0);
}

TEST(RegexObjectTest, DotStopsAtLineEnds)
{
    RegexObject regex;
    ASSERT_TRUE(regex.run("<h1>(.*?)</h1>", "<h1>first\nsecond</h1>"));
    EXPECT_EQ(regex.matchCount(), 0);
    ASSERT_TRUE(regex.run("(.*?)</h1>", "<h1>first\r\nsecond</h1>"));
    ASSERT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.groupText(1, 1), "second");
    ASSERT_TRUE(regex.run("<h1>(.*)</h1>", "<h1>a</h1>\r<h1>b</h1>"));
    EXPECT_EQ(regex.matchCount(), 2);
    // Line breaks spelled out in the pattern match the page's own.
    ASSERT_TRUE(regex.run("<h1>(.*?)</h1>\r\n", "<h1>a</h1>\r\n<h1>b</h1>\n<h1>c</h1>\r\n"));
    ASSERT_EQ(regex.matchCount(), 2);
    EXPECT_EQ(regex.groupText(2, 1), "c");
    ASSERT_TRUE(regex.run("^(.+)$", "one\r\ntwo\rthree\nfour"));
    ASSERT_EQ(regex.matchCount(), 4);
    EXPECT_EQ(regex.matchText(1), "one");
    EXPECT_EQ(regex.matchText(2), "two");
    ASSERT_TRUE(regex.run("^(.+)$", "one\ntwo", false, false));
    EXPECT_EQ(regex.matchCount(), 0);
}

TEST(RegexObjectTest, GlobalOffFindsOnlyFirst)
{
    RegexObject regex;
    ASSERT_TRUE(regex.run("<b>(.*?)</b>", "<b>1</b><b>2</b><b>3</b>", false, true, false));
    EXPECT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.replaceAll("[$1]"), "[1]<b>2</b><b>3</b>");
    ASSERT_TRUE(regex.run("<b>(.*?)</b>", "<b>1</b><b>2</b><b>3</b>"));
    EXPECT_EQ(regex.matchCount(), 3);
    EXPECT_EQ(regex.matchText(3), "<b>3</b>");
}

TEST(RegexObjectTest, QuotePlaceholderOnlyWhenAsked)
{
    const std::string pattern = gbk("href=#引号(.*?)#引号");
    const std::string page = "<a href=\"1.html\">";
    RegexObject regex;
    ASSERT_TRUE(regex.run(pattern, page));
    EXPECT_EQ(regex.matchCount(), 0);
    ASSERT_TRUE(regex.run(pattern, gbk("href=#引号x#引号")));
    EXPECT_EQ(regex.groupText(1, 1), "x");
    ASSERT_TRUE(regex.run(pattern, page, false, true, true, true));
    EXPECT_EQ(regex.groupText(1, 1), "1.html");
    EXPECT_EQ(regex.currentPattern(), "href=\"(.*?)\"");
}

TEST(RegexObjectTest, NumbersOutOfRangeGiveEmptyText)
{
    RegexObject regex;
    ASSERT_TRUE(regex.run("(\\w)(\\d)|(x)", "a1b2x"));
    ASSERT_EQ(regex.matchCount(), 3);
    EXPECT_EQ(regex.groupCount(), 3);
    EXPECT_EQ(regex.groupText(2, 1), "b");
    EXPECT_EQ(regex.groupText(2, 2), "2");
    EXPECT_EQ(regex.groupText(2, 3), "");   // took no part in the match
    EXPECT_EQ(regex.groupText(3, 1), "");
    EXPECT_EQ(regex.groupText(3, 3), "x");
    for (const auto& [m, g] : std::vector<std::pair<int, int>>{{0, 1}, {1, 0}, {4, 1}, {1, 4}, {-1, -1}}) {
        EXPECT_EQ(regex.groupText(m, g), "") << m << "," << g;
    }
    EXPECT_EQ(regex.matchText(0), "");
    EXPECT_EQ(regex.matchText(4), "");
}

TEST(RegexObjectTest, MatchesPerCharacter)
{
    RegexObject regex;
    const std::string author = gbk("作者");
    ASSERT_TRUE(regex.run(gbk("<p>作\\S*?者[：:](.*?)</p>"), gbk("<h1>书</h1><p>作&nbsp;者：林一舟</p>")));
    ASSERT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.groupText(1, 1), gbk("林一舟"));
    EXPECT_EQ(regex.matchText(1), gbk("<p>作&nbsp;者：林一舟</p>"));

    // \d, \s and \w keep their ASCII meaning.
    ASSERT_TRUE(regex.run("\\w+", gbk("abc中文9")));
    ASSERT_EQ(regex.matchCount(), 2);
    EXPECT_EQ(regex.matchText(2), "9");
    // clang-format off
    ASSERT_TRUE(regex.run("\\s", gbk("a\xE3\x80\x80" "b c")));   // U+3000 ideographic space
    // clang-format on
    EXPECT_EQ(regex.matchCount(), 1);
    ASSERT_TRUE(regex.run("\\u4E2D", gbk("中文")));
    EXPECT_EQ(regex.matchText(1), gbk("中"));
}

TEST(RegexObjectTest, EmptyMatchesStepOneCharacter)
{
    RegexObject regex;
    ASSERT_TRUE(regex.run("x*", gbk("a中b")));
    EXPECT_EQ(regex.matchCount(), 4);  // before each character and at the end
    EXPECT_EQ(regex.replaceAll("-"), gbk("-a-中-b-"));
    ASSERT_TRUE(regex.run("", ""));
    EXPECT_EQ(regex.matchCount(), 1);
}

TEST(RegexObjectTest, BackReference)
{
    RegexObject regex;
    ASSERT_TRUE(regex.run("<a title=\"(.*?)\">\\1</a>", "<a title=\"x\">x</a><a title=\"y\">z</a>"));
    ASSERT_EQ(regex.matchCount(), 1);
    EXPECT_EQ(regex.groupText(1, 1), "x");
}

// The groups are cut from the subject itself, so every byte sequence comes
// back unchanged, unreadable bytes included.
TEST(RegexObjectTest, TextsAreExactSubjectBytes)
{
    std::string subject;
    for (int lead = 0x01; lead <= 0xFF; ++lead) {
        for (int trail = 0x01; trail <= 0xFF; trail += 3) {
            subject += static_cast<char>(lead);
            subject += static_cast<char>(trail);
        }
    }
    RegexObject regex;
    ASSERT_TRUE(regex.run("[\\s\\S]", subject));
    std::string joined;
    for (int m = 1; m <= regex.matchCount(); ++m) {
        joined += regex.matchText(m);
    }
    EXPECT_TRUE(joined == subject);
    EXPECT_TRUE(regex.replaceAll("$&") == subject);
}

TEST(RegexObjectTest, ReplacementSyntax)
{
    RegexObject regex;
    ASSERT_TRUE(regex.run("<(\\w+)>(.*?)</\\1>", gbk("前<b>粗</b>中<i>斜</i>后")));
    EXPECT_EQ(regex.replaceAll("[$2|$1]"), gbk("前[粗|b]中[斜|i]后"));
    EXPECT_EQ(regex.replaceAll("$$&$&$0"), gbk("前$&<b>粗</b>$0中$&<i>斜</i>$0后"));
    EXPECT_EQ(regex.replaceAll("$10$3$"), gbk("前b0$3$中i0$3$后"));  // no group 10 or 3
    EXPECT_EQ(regex.replaceAll("($`)"), gbk("前(前)中(前<b>粗</b>中)后"));
    EXPECT_EQ(regex.replaceAll("($')"), gbk("前(中<i>斜</i>后)中(后)后"));
    EXPECT_EQ(regex.replaceAll(gbk("替")), gbk("前替中替后"));
}

TEST(RegexObjectTest, CopiesAreIndependent)
{
    RegexObject regex;
    ASSERT_TRUE(regex.run("(b)", "abc"));
    const RegexObject copy = regex;
    ASSERT_TRUE(regex.run("(x)(y)", "xy xy"));
    EXPECT_EQ(copy.matchCount(), 1);
    EXPECT_EQ(copy.groupText(1, 1), "b");
    EXPECT_EQ(copy.currentPattern(), "(b)");
    EXPECT_EQ(copy.replaceAll("B"), "aBc");
    EXPECT_EQ(regex.matchCount(), 2);
}

TEST(RegexObjectTest, RunawayBacktrackingFailsInsteadOfHanging)
{
    RegexObject regex;
    EXPECT_FALSE(regex.run("(a+)+b", std::string(40, 'a') + "cb"));
    EXPECT_EQ(regex.matchCount(), 0);
}

TEST(RegexObjectTest, ObjectsOnSeparateThreadsAreIndependent)
{
    std::string page;
    for (int i = 0; i < 2000; ++i) {
        page += gbk("<li><a href=\"" + std::to_string(i) + ".html\">第" + std::to_string(i) + "章</a></li>\r\n");
    }
    std::vector<int> counts(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < counts.size(); ++t) {
        threads.emplace_back([&, t] {
            RegexObject regex;
            for (int i = 0; i < 5; ++i) {
                regex.run("<li><a href=\"(.*?)\">(.*?)</a></li>", page);
                counts[t] += regex.groupText(2000, 1) == "1999.html" ? regex.matchCount() : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counts, std::vector<int>(4, 10000));
}

}  // namespace

// clang-format on