#include "core/Files.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

class FilesTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("velmora-files-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

TEST_F(FilesTest, WritesAndReadsBytesWhole)
{
    const std::string bytes("a\0\xFF\r\n", 5);
    ASSERT_TRUE(writeWholeFile(dir_ / "f", bytes));
    EXPECT_EQ(readWholeFile(dir_ / "f"), bytes);
    ASSERT_TRUE(replaceFileAtomically(dir_ / "f", "new"));
    EXPECT_EQ(readWholeFile(dir_ / "f"), "new");
    EXPECT_FALSE(readWholeFile(dir_ / "missing").has_value());
}

TEST_F(FilesTest, FailedAtomicReplaceKeepsOldContentAndLeavesNoTemporary)
{
    ASSERT_TRUE(writeWholeFile(dir_ / "f", "old"));
    fs::create_directory(dir_ / "target");  // a folder cannot be replaced by a file
    EXPECT_FALSE(replaceFileAtomically(dir_ / "target", "new"));
    EXPECT_FALSE(writeWholeFile(dir_ / "missing-folder" / "f", "x"));
    EXPECT_FALSE(replaceFileAtomically(dir_ / "missing-folder" / "f", "x"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
    EXPECT_EQ(readWholeFile(dir_ / "f"), "old");
}
