#include "core/FolderLock.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

using namespace velmora;
namespace fs = std::filesystem;

extern char** environ;

namespace {

// Exit status of `flock --nonblock <folder> true` run as a process of its
// own: 0 when it could take the folder's lock, 1 when someone holds it.
int lockFromAnotherProcess(const fs::path& folder)
{
    const std::string path = folder.string();
    const char* argv[] = {"flock", "--nonblock", path.c_str(), "true", nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, "flock", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

using FolderLockTest = test::TempFolderTest;

TEST_F(FolderLockTest, SecondTakerIsRefusedUntilTheFirstLetsGo)
{
    std::optional<FolderLock> first(FolderLock::tryLock(folder_));
    ASSERT_EQ(first->status(), FolderLock::Status::locked);
    EXPECT_EQ(FolderLock::tryLock(folder_).status(), FolderLock::Status::busy);
    EXPECT_EQ(lockFromAnotherProcess(folder_), 1);

    // A moved lock is still held; the moved-from object holds nothing.
    FolderLock moved = std::move(*first);
    EXPECT_TRUE(moved.owned());
    EXPECT_FALSE(first->owned());
    first.reset();
    EXPECT_EQ(FolderLock::tryLock(folder_).status(), FolderLock::Status::busy);

    moved = FolderLock::tryLock(folder_ / "other-missing");
    EXPECT_EQ(moved.status(), FolderLock::Status::unavailable);
    EXPECT_TRUE(FolderLock::tryLock(folder_).owned());
    EXPECT_EQ(lockFromAnotherProcess(folder_), 0);
}

TEST_F(FolderLockTest, LockHeldByAnotherProcessIsSeenAsBusy)
{
    // The other process holds the lock while it runs "sleep".
    const std::string path = folder_.string();
    const char* argv[] = {"flock", path.c_str(), "sleep", "3", nullptr};
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawnp(&pid, "flock", nullptr, nullptr, const_cast<char**>(argv), environ), 0);
    bool sawBusy = false;
    for (int i = 0; i < 10000 && !sawBusy; ++i) {
        sawBusy = FolderLock::tryLock(folder_).status() == FolderLock::Status::busy;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(sawBusy);
    // Waits for the other process's end, which lets the lock go with it.
    EXPECT_TRUE(FolderLock::lock(folder_).owned());
    int status = 0;
    EXPECT_EQ(::waitpid(pid, &status, 0), pid);
}

TEST_F(FolderLockTest, WaitingTakerGetsTheLockWhenItIsReleased)
{
    std::optional<FolderLock> first(FolderLock::tryLock(folder_));
    ASSERT_TRUE(first->owned());
    std::atomic<bool> taken{false};
    std::thread waiter([&] {
        const FolderLock second = FolderLock::lock(folder_);
        taken = second.owned();
    });
    first.reset();
    waiter.join();
    EXPECT_TRUE(taken);
}

TEST_F(FolderLockTest, MissingFolderCannotBeLocked)
{
    EXPECT_EQ(FolderLock::tryLock(folder_ / "missing").status(), FolderLock::Status::unavailable);
    EXPECT_EQ(FolderLock::lock(folder_ / "missing").status(), FolderLock::Status::unavailable);
}
