#include "job/ChapterFiles.h"

#include <gtest/gtest.h>

using namespace velmora;

struct SafeNameCase {
    std::string name;
    std::string expected;
};

void PrintTo(const SafeNameCase& c, std::ostream* os) { *os << testing::PrintToString(c.name); }

class SafeFileNameTest : public testing::TestWithParam<SafeNameCase> {};

TEST_P(SafeFileNameTest, NeverLeavesTheWorkingFolder)
{
    EXPECT_EQ(SafeFileName(GetParam().name), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SafeFileNameTest, testing::Values(
    SafeNameCase{"\xC4\xB3\xCA\xE9", "\xC4\xB3\xCA\xE9"},  // 某书 stays as it is
    SafeNameCase{"../../x", ".._.._x"},
    SafeNameCase{"/etc", "_etc"},
    SafeNameCase{"a\\b", "a_b"},
    SafeNameCase{"a:*?\"<>|b", "a_______b"},
    SafeNameCase{"tab\there\n", "tab_here_"},
    SafeNameCase{"..", "_"},
    SafeNameCase{".", "_"},
    SafeNameCase{"", "_"},
    SafeNameCase{"name. . ", "name"},
    SafeNameCase{"\x81\x5C", "\x81\x5C"}  // a trail byte equal to "\" is part of its character
));

TEST(ChapterFilesTest, LongNamesAreCutOnCharacterBoundaries)
{
    std::string name = "x";
    for (int i = 0; i < 100; ++i) {
        name += "\xD6\xD0";
    }
    const std::string safe = SafeFileName(name);
    EXPECT_LE(safe.size(), 80u);
    EXPECT_EQ(safe.size() % 2, 1u);  // "x" and whole double-byte characters only
}

TEST(ChapterFilesTest, PathsAreNamedAfterNovelPositionAndAuthor)
{
    EXPECT_EQ(ChapterFilePath("\xC4\xB3\xCA\xE9", 12).string(), "\xE6\x9F\x90\xE4\xB9\xA6/12.txt");  // 某书/12.txt
    EXPECT_EQ(MergedFilePath("\xC4\xB3\xCA\xE9", "\xC4\xB3\xC8\xCB").string(),
              "\xE6\x9F\x90\xE4\xB9\xA6(\xE6\x9F\x90\xE4\xBA\xBA).txt");  // 某书(某人).txt
    EXPECT_EQ(MergedFilePath("", "").string(), "().txt");
    EXPECT_EQ(MergedFilePath("../a", "b/c").string(), ".._a(b_c).txt");
    EXPECT_EQ(ChapterFilePath("..", 1).string(), "_/1.txt");
}

TEST(ChapterFilesTest, ChapterFileTextIsTitleLineAndCleanedCut)
{
    EXPECT_EQ(ChapterFileText("T", "<div id=\"c\"><p>a&nbsp;b</p></div>", "<div id=\"c\">", "</div>"),
              "T\r\n  a b\r\n");
    EXPECT_EQ(ChapterFileText("T", "no markers here", "<div>", "</div>"), "T\r\n");
}

struct BaseCase {
    std::string list;
    std::string first;
    std::string expected;
};

void PrintTo(const BaseCase& c, std::ostream* os) { *os << c.first; }

class RelativeBaseAddressTest : public testing::TestWithParam<BaseCase> {};

TEST_P(RelativeBaseAddressTest, EachSlashClimbsOneFolder)
{
    EXPECT_EQ(RelativeBaseAddress(GetParam().list, GetParam().first), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, RelativeBaseAddressTest, testing::Values(
    BaseCase{"http://h.example/a/b/list.html", "123.html", "http://h.example/a/b/"},
    BaseCase{"http://h.example/a/b/list.html", "b/123.html", "http://h.example/a/"},
    BaseCase{"http://h.example/a/b/list.html", "/a/b/123.html", "http://h.example"},
    BaseCase{"http://h.example/a/b/list.html", "/123.html", "http://h.example/a/b"},
    BaseCase{"http://h.example/a/b/list.html", "", "http://h.example/a/b/"},
    BaseCase{"http://h.example/list.html", "http://other.example/x/y/1.html", ""},
    BaseCase{"http://h.example/a/", "1.html", "http://h.example/a/"},
    BaseCase{"http://H.example/A/b/", "B/1.html", "http://H.example/A/"}
));
