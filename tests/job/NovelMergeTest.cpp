#include "job/NovelMerge.h"

#include "core/FileBytes.h"
#include "job/ChapterFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

// Runs each test in a fresh working folder, as the program runs in its own.
class NovelMergeTest : public testing::Test {
protected:
    void SetUp() override
    {
        previous_ = fs::current_path();
        dir_ = fs::temp_directory_path() / ("velmora-merge-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "N");
        fs::current_path(dir_);
        for (int i = 1; i <= 3; ++i) {
            replaceFileContent(chapterFilePath("N", i), "c" + std::to_string(i));
        }
    }
    void TearDown() override
    {
        fs::current_path(previous_);
        fs::remove_all(dir_);
    }

    // Merges rows 1..count, taking those whose flag is set.
    std::string merge(std::initializer_list<bool> downloaded)
    {
        std::string novel;
        int position = 0;
        for (bool d : downloaded) {
            ++position;
            if (d) {
                appendChapterToNovel(novel, novelFolderPath("N"), position, static_cast<int>(downloaded.size()));
            }
        }
        return novel;
    }

    fs::path previous_;
    fs::path dir_;
};

TEST_F(NovelMergeTest, SeparatorFollowsEveryChapterButTheLastRows)
{
    EXPECT_EQ(merge({true, true, true}), "c1\r\n\r\nc2\r\n\r\nc3");
    EXPECT_EQ(merge({true, true, false}), "c1\r\n\r\nc2\r\n\r\n");
    EXPECT_EQ(merge({false, false, false}), "");
    fs::remove(chapterFilePath("N", 2));
    EXPECT_EQ(merge({true, true, true}), "c1\r\n\r\n\r\n\r\nc3");
}

TEST_F(NovelMergeTest, MergedFileIsReplacedAndFailureIsReported)
{
    ASSERT_TRUE(writeMergedNovel("N", "A", "first"));
    EXPECT_EQ(readFileBytes("N(A).txt"), "first");
    fs::remove("N(A).txt");
    fs::create_directory("N(A).txt");  // something that cannot be replaced by the new file
    EXPECT_FALSE(writeMergedNovel("N", "A", "second"));
    fs::remove("N(A).txt");
    ASSERT_TRUE(writeMergedNovel("N", "A", "third"));
    EXPECT_EQ(readFileBytes("N(A).txt"), "third");
}
