#include "core/FileBytes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

using namespace velmora;
namespace fs = std::filesystem;

class FileBytesTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-fb-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    static void put(const fs::path& file, std::string_view bytes)
    {
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    fs::path folder_;
};

TEST_F(FileBytesTest, ReadsEveryByteOfARegularFileOnly)
{
    const std::string bytes("a\0b\r\n\xD5\xE6", 7);
    put(folder_ / "f", bytes);
    EXPECT_EQ(readFileBytes(folder_ / "f"), bytes);
    put(folder_ / "empty", "");
    EXPECT_EQ(readFileBytes(folder_ / "empty"), "");
    EXPECT_FALSE(readFileBytes(folder_ / "missing"));
    EXPECT_FALSE(readFileBytes(folder_));
}

TEST_F(FileBytesTest, ReplacesContentAndKeepsPermissions)
{
    const fs::path file = folder_ / "rules.xml";
    ASSERT_TRUE(replaceFileContent(file, "first"));
    ::chmod(file.c_str(), 0600);
    ASSERT_TRUE(replaceFileContent(file, "second, longer"));
    EXPECT_EQ(readFileBytes(file), "second, longer");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
    EXPECT_FALSE(fs::exists(folder_ / "rules.xml.tmp"));
}

TEST_F(FileBytesTest, FailedSaveLeavesOldFileIntact)
{
    const fs::path file = folder_ / "rules.xml";
    put(file, "old");
    fs::create_directory(folder_ / "rules.xml.tmp");
    EXPECT_FALSE(replaceFileContent(file, "new"));
    EXPECT_EQ(readFileBytes(file), "old");

    EXPECT_FALSE(replaceFileContent(folder_ / "no-such-folder" / "rules.xml", "new"));
}

TEST_F(FileBytesTest, StaleTemporaryFileIsReplaced)
{
    const fs::path file = folder_ / "rules.xml";
    put(folder_ / "rules.xml.tmp", "stale leftover that is longer");
    ASSERT_TRUE(replaceFileContent(file, "new"));
    EXPECT_EQ(readFileBytes(file), "new");
}

TEST_F(FileBytesTest, WritesThroughSymbolicLink)
{
    const fs::path target = folder_ / "real.xml";
    const fs::path link = folder_ / "link.xml";
    put(target, "old");
    fs::create_symlink(target, link);
    ASSERT_TRUE(replaceFileContent(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFileBytes(target), "new");
}
