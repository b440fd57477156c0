#include "core/ProgramFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

TEST(ProgramFolderTest, ProgramFolderHoldsTheRunningExecutable)
{
    const fs::path folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(fs::exists(folder / "program_folder_test"));
}

TEST(ProgramFolderTest, WritableFolderIsKept)
{
    const fs::path tmp = fs::temp_directory_path();
    EXPECT_EQ(workingFolderFor(tmp), tmp);
}

TEST(ProgramFolderTest, UnusableFolderFallsBackToUserDataFolder)
{
    const fs::path base = fs::temp_directory_path() / ("velmora-pf-" + std::to_string(::getpid()));
    fs::remove_all(base);
    setenv("XDG_DATA_HOME", base.c_str(), 1);
    const fs::path chosen = workingFolderFor(base / "missing");
    EXPECT_EQ(chosen, base / "velmora");
    EXPECT_TRUE(fs::is_directory(chosen));
    fs::remove_all(base);
    unsetenv("XDG_DATA_HOME");
}
