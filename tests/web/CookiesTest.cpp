#include "web/Cookies.h"

#include <gtest/gtest.h>

using namespace velmora;

struct MergeCase {
    std::string jar;
    std::string received;
    std::string merged;
};

void PrintTo(const MergeCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.jar);
}

class MergeCookiesTest : public testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, MergesIntoJar)
{
    MergeCase c = GetParam();
    EXPECT_EQ(MergeCookies(c.jar, c.received), c.merged);
    EXPECT_EQ(c.jar, c.merged);
    EXPECT_EQ(c.received.find(' '), std::string::npos);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, MergeCookiesTest, testing::Values(
    MergeCase{"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
    MergeCase{"a=1; b=2", "a=deleted", "b=2"},
    MergeCase{"", "x=1", "x=1"},
    MergeCase{"", "", ""},
    MergeCase{"a=1; a=1", "", "a=1"},
    MergeCase{"", "k=1; k=2", "k=1; k=2"},
    MergeCase{"k=1; k=2", "", "k=1"},
    MergeCase{"k=1; k=2", "k=3", "k=3"}
));
// clang-format on

TEST(CookiesTest, CookieNameIsTrimmedTextBeforeFirstEquals)
{
    EXPECT_EQ(CookieName(" sid =a=b"), "sid");
    EXPECT_EQ(CookieName("flag"), "flag");
    // clang-format off
    EXPECT_EQ(CookieName("\xA1\xA1" "x=1"), "x");
    // clang-format on
}

TEST(CookiesTest, DedupeJoinDropsRepeatsAndEmptyLastPiece)
{
    EXPECT_EQ(DedupeJoin("a; b; a; ", "; "), "a; b");
    EXPECT_EQ(DedupeJoin("", "; "), "");
}
