#include "job/ChapterFiles.h"

#include "core/FileBytes.h"
#include "job/NovelMerge.h"

#include <gtest/gtest.h>

using namespace velmora;

struct SafeNameCase {
    std::string name;
    std::string expected;
};

void PrintTo(const SafeNameCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.name);
}

class SafeFileNameTest : public testing::TestWithParam<SafeNameCase> {};

TEST_P(SafeFileNameTest, NeverLeavesTheWorkingFolder)
{
    EXPECT_EQ(safeFileName(GetParam().name), GetParam().expected);
}

// clang-format off
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
    SafeNameCase{"\x81\x5C", "\x81\x5C"},  // a trail byte equal to "\" is part of its character
    // A lead byte takes only a trail byte: what follows it otherwise is judged alone.
    SafeNameCase{"\x81/etc", "__etc"},
    SafeNameCase{"a\xD6\nb", "a__b"},
    SafeNameCase{"\xD6:\xD0*", "____"},
    SafeNameCase{"\xB0\x7F", "__"},
    SafeNameCase{"a\xD6", "a_"},
    // Bytes that name no character would reach the disk as U+FFFD.
    SafeNameCase{"\xFF\xA2\xA0", "__"},
    SafeNameCase{"\x80", "\x80"},  // the euro sign
    SafeNameCase{std::string(200, 'a'), std::string(120, 'a')},
    SafeNameCase{std::string(100, '\x80'), std::string(40, '\x80')}  // 40 euro signs: 120 bytes in UTF-8
));
// clang-format on

TEST(ChapterFilesTest, LongNamesAreCutOnCharacterBoundaries)
{
    std::string name = "x";
    for (int i = 0; i < 100; ++i) {
        name += "\xD6\xD0";
    }
    const std::string safe = safeFileName(name);
    EXPECT_LE(safe.size(), 80u);
    EXPECT_EQ(safe.size() % 2, 1u);  // "x" and whole double-byte characters only
}

// Runs in a fresh working folder, as the program runs in its own.
class NovelFolderTest : public testing::Test {
protected:
    void SetUp() override
    {
        previous_ = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-novel-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        std::filesystem::current_path(folder_);
    }
    void TearDown() override
    {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(folder_);
    }

    std::filesystem::path previous_;
    std::filesystem::path folder_;
};

TEST_F(NovelFolderTest, EmptyNameMakesNoFolderButItsChaptersStillSave)
{
    EXPECT_FALSE(createNovelFolder(""));
    EXPECT_TRUE(std::filesystem::is_empty(folder_));

    EXPECT_TRUE(createNovelFolder("\xC4\xB3\xCA\xE9"));
    EXPECT_TRUE(createNovelFolder("\xC4\xB3\xCA\xE9"));  // an existing folder is fine
    EXPECT_TRUE(std::filesystem::is_directory(novelFolderPath("\xC4\xB3\xCA\xE9")));

    // Chapters of a novel whose name was not found go to "_", made when the
    // first one is saved.
    ASSERT_TRUE(saveChapterFile("", 2, "text"));
    EXPECT_EQ(readFileBytes(folder_ / "_" / "2.txt"), "text");
}

// A name of 200 characters on either side used to make a merged name that
// no file system takes, so such a novel could never be merged.
TEST_F(NovelFolderTest, LongestNamesStillMergeAndSave)
{
    for (const std::string& ch : {std::string("\xD6\xD0"), std::string("\x80"), std::string("a")}) {
        std::string name;
        for (int i = 0; i < 200; ++i) {
            name += ch;
        }
        EXPECT_LE(mergedFilePath(name, name).string().size(), 255u - 16u);
        EXPECT_TRUE(saveChapterFile(name, 1, "c")) << name.size();
        EXPECT_TRUE(writeMergedNovel(name, name, "novel")) << name.size();
        EXPECT_EQ(readFileBytes(mergedFilePath(name, name)), "novel");
    }
}

TEST_F(NovelFolderTest, SecondDownloadIntoTheSameFolderIsRefused)
{
    ASSERT_TRUE(createNovelFolder("N"));
    const NovelFolderLock first = NovelFolderLock::tryLock(novelFolderPath("N"));
    ASSERT_TRUE(first.owned());
    EXPECT_EQ(NovelFolderLock::tryLock(novelFolderPath("N")).status(), FolderLock::Status::busy);
    EXPECT_EQ(NovelFolderLock::tryLock(folder_ / "N").status(), FolderLock::Status::busy);
    ASSERT_TRUE(createNovelFolder("M"));
    EXPECT_TRUE(NovelFolderLock::tryLock(novelFolderPath("M")).owned());
}

TEST(ChapterFilesTest, PathsAreNamedAfterNovelPositionAndAuthor)
{
    EXPECT_EQ(chapterFilePath("\xC4\xB3\xCA\xE9", 12).string(), "\xE6\x9F\x90\xE4\xB9\xA6/12.txt");  // 某书/12.txt
    EXPECT_EQ(mergedFilePath("\xC4\xB3\xCA\xE9", "\xC4\xB3\xC8\xCB").string(),
              "\xE6\x9F\x90\xE4\xB9\xA6(\xE6\x9F\x90\xE4\xBA\xBA).txt");  // 某书(某人).txt
    EXPECT_EQ(mergedFilePath("", "").string(), "().txt");
    EXPECT_EQ(mergedFilePath("../a", "b/c").string(), ".._a(b_c).txt");
    EXPECT_EQ(chapterFilePath("..", 1).string(), "_/1.txt");
}

TEST(ChapterFilesTest, ChapterFileTextIsTitleLineAndCleanedCut)
{
    EXPECT_EQ(chapterFileText("T", "<div id=\"c\"><p>a&nbsp;b</p></div>", "<div id=\"c\">", "</div>"),
              "T\r\n  a b\r\n");
    EXPECT_EQ(chapterFileText("T", "no markers here", "<div>", "</div>"), "T\r\n");
}

struct BaseCase {
    std::string list;
    std::string first;
    std::string expected;
};

void PrintTo(const BaseCase& c, std::ostream* os)
{
    *os << c.first;
}

class RelativeBaseAddressTest : public testing::TestWithParam<BaseCase> {};

TEST_P(RelativeBaseAddressTest, EachSlashClimbsOneFolder)
{
    EXPECT_EQ(RelativeBaseAddress(GetParam().list, GetParam().first), GetParam().expected);
}

// clang-format off
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
// clang-format on
