#pragma once

#include <filesystem>

namespace velmora {

// An exclusive advisory lock on a folder (flock on the folder itself), held
// until the object is destroyed or moved from. It works across processes and
// between two locks taken separately in one process, so two copies of the
// program, or two writers in one, exclude each other; it leaves no file
// behind and cannot be left stale by a crash, since the system drops it with
// the process. It binds only code that takes it: it does not stop other
// programs from writing.
class FolderLock {
public:
    enum class Status {
        locked,       // this object holds the lock
        busy,         // someone else holds it (tryLock only)
        unavailable,  // the folder is missing or cannot be opened
    };

    // Takes the lock if it is free, without waiting. An empty path is the
    // working directory.
    static FolderLock tryLock(const std::filesystem::path& folder);
    // Waits until the lock is free, then takes it.
    static FolderLock lock(const std::filesystem::path& folder);

    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();

    Status status() const { return status_; }
    bool owned() const { return status_ == Status::locked; }

private:
    FolderLock(int fd, Status status) : fd_(fd), status_(status) {}
    static FolderLock take(const std::filesystem::path& folder, bool wait);
    void release();

    int fd_;
    Status status_;
};

}  // namespace velmora
