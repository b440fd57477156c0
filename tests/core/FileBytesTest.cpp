#include "core/FileBytes.h"

#include "support/FileSizeLimit.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sys/stat.h>
#include <thread>

using namespace velmora;
namespace fs = std::filesystem;

// Every case runs twice: with the unnamed file first, as on Linux file
// systems that have them, and with the named temporary file only, as on
// those that do not.
class FileBytesTest : public test::TempFolderTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        setUnnamedTemporaryFiles(GetParam());
    }
    void TearDown() override
    {
        setUnnamedTemporaryFiles(true);
        TempFolderTest::TearDown();
    }

    static void put(const fs::path& file, std::string_view bytes)
    {
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // The names in the folder, sorted.
    std::vector<std::string> names() const
    {
        std::vector<std::string> found;
        for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
            found.push_back(entry.path().filename().string());
        }
        std::sort(found.begin(), found.end());
        return found;
    }
};

TEST_P(FileBytesTest, ReadsEveryByteOfARegularFileOnly)
{
    const std::string bytes("a\0b\r\n\xD5\xE6", 7);
    put(folder_ / "f", bytes);
    EXPECT_EQ(readFileBytes(folder_ / "f"), bytes);
    put(folder_ / "empty", "");
    EXPECT_EQ(readFileBytes(folder_ / "empty"), "");
    EXPECT_FALSE(readFileBytes(folder_ / "missing"));
    EXPECT_FALSE(readFileBytes(folder_));
}

TEST_P(FileBytesTest, ReplacesContentAndKeepsPermissions)
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

TEST_P(FileBytesTest, FailedSaveLeavesOldFileIntactAndNoTemporaryFile)
{
    const fs::path file = folder_ / "rules.xml";
    put(file, "old");
    {
        const test::FileSizeLimit full(4);
        EXPECT_FALSE(replaceFileContent(file, "new and longer than the limit"));
    }
    EXPECT_EQ(readFileBytes(file), "old");
    EXPECT_EQ(names(), std::vector<std::string>{"rules.xml"});
    {
        const test::FileSizeLimit full(4);
        EXPECT_FALSE(replaceFileContent(folder_ / "new.xml", "new and longer than the limit"));
    }
    EXPECT_EQ(names(), std::vector<std::string>{"rules.xml"});

    EXPECT_FALSE(replaceFileContent(folder_ / "no-such-folder" / "rules.xml", "new"));
}

// What stands beside the file under any name (a novel folder, a file or a
// link named like a temporary file) is neither used nor touched.
TEST_P(FileBytesTest, OtherFilesBesideTheTargetAreLeftAlone)
{
    const fs::path file = folder_ / "rules.xml";
    put(file, "old");
    fs::create_directory(folder_ / "rules.xml.tmp");
    put(folder_ / ".rules.xml.tmp", "someone's");
    fs::create_symlink(folder_ / "elsewhere", folder_ / "rules.xml.tmp.link");
    ASSERT_TRUE(replaceFileContent(file, "new"));
    EXPECT_EQ(readFileBytes(file), "new");
    EXPECT_TRUE(fs::is_directory(folder_ / "rules.xml.tmp"));
    EXPECT_EQ(readFileBytes(folder_ / ".rules.xml.tmp"), "someone's");
    EXPECT_FALSE(fs::exists(folder_ / "elsewhere"));
    EXPECT_EQ(names(),
              (std::vector<std::string>{".rules.xml.tmp", "rules.xml", "rules.xml.tmp", "rules.xml.tmp.link"}));
}

TEST_P(FileBytesTest, NameAtTheLengthLimitCanBeReplaced)
{
    const fs::path file = folder_ / std::string(255, 'n');
    ASSERT_TRUE(replaceFileContent(file, "first"));
    ASSERT_TRUE(replaceFileContent(file, "second"));
    EXPECT_EQ(readFileBytes(file), "second");
    EXPECT_EQ(names().size(), 1u);
}

// Two writers of one file (two copies of the program saving the same file)
// each save whole: neither removes or renames the other's temporary file.
TEST_P(FileBytesTest, ConcurrentWritersEachSaveWhole)
{
    const fs::path file = folder_ / "rules.xml";
    const std::string contents[2] = {std::string(5000, 'a'), std::string(7000, 'b')};
    bool allSaved[2] = {true, true};
    std::thread writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = std::thread([&, w] {
            for (int i = 0; i < 200; ++i) {
                allSaved[w] = replaceFileContent(file, contents[w]) && allSaved[w];
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    EXPECT_TRUE(allSaved[0]);
    EXPECT_TRUE(allSaved[1]);
    const std::string last = readFileBytes(file).value_or("");
    EXPECT_TRUE(last == contents[0] || last == contents[1]);
    EXPECT_EQ(names(), std::vector<std::string>{"rules.xml"});
}

TEST_P(FileBytesTest, StaleTemporaryFileDoesNotStopASave)
{
    const fs::path file = folder_ / "rules.xml";
    put(folder_ / "rules.xml.tmp", "stale leftover that is longer");
    ASSERT_TRUE(replaceFileContent(file, "new"));
    EXPECT_EQ(readFileBytes(file), "new");
}

TEST_P(FileBytesTest, WritesThroughSymbolicLink)
{
    const fs::path target = folder_ / "real.xml";
    const fs::path link = folder_ / "link.xml";
    put(target, "old");
    fs::create_symlink(target, link);
    ASSERT_TRUE(replaceFileContent(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFileBytes(target), "new");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(BothWays, FileBytesTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Unnamed" : "Named"; });
// clang-format on
