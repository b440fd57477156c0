#include "core/FolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace velmora {

FolderLock FolderLock::take(const std::filesystem::path& folder, bool wait)
{
    const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
    // Close-on-exec: a child process (the browser's helper) must not keep
    // the lock alive after this process lets it go.
    const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return FolderLock(-1, Status::unavailable);
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const Status status = errno == EWOULDBLOCK ? Status::busy : Status::unavailable;
        ::close(fd);
        return FolderLock(-1, status);
    }
    return FolderLock(fd, Status::locked);
}

FolderLock FolderLock::tryLock(const std::filesystem::path& folder)
{
    return take(folder, false);
}

FolderLock FolderLock::lock(const std::filesystem::path& folder)
{
    return take(folder, true);
}

FolderLock::FolderLock(FolderLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), status_(std::exchange(other.status_, Status::unavailable))
{
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept
{
    if (this != &other) {
        release();
        fd_ = std::exchange(other.fd_, -1);
        status_ = std::exchange(other.status_, Status::unavailable);
    }
    return *this;
}

FolderLock::~FolderLock()
{
    release();
}

void FolderLock::release()
{
    if (fd_ >= 0) {
        // Closing the only descriptor of the open file drops the lock.
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace velmora
