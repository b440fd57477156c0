#include "core/FileBytes.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmora {
namespace {

// Owns one file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool valid() const { return fd_ >= 0; }
    int get() const { return fd_; }

    // Closes now, so that a failure to close (a late write error) can be seen.
    bool close()
    {
        if (fd_ < 0) {
            return true;
        }
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0;
    }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Makes a finished rename survive a crash; a folder that cannot be synced
// leaves the rename in place all the same.
void syncFolder(const std::filesystem::path& folder)
{
    const std::filesystem::path name = folder.empty() ? std::filesystem::path(".") : folder;
    FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

} // namespace

std::optional<std::string> readFileBytes(const std::filesystem::path& file)
{
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) {
            return bytes;
        }
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

bool replaceFileContent(const std::filesystem::path& file, std::string_view bytes, Durability durability)
{
    const bool syncNow = durability == Durability::now;
    std::error_code error;
    std::filesystem::path target = file;
    if (std::filesystem::is_symlink(file, error)) {
        target = std::filesystem::canonical(file, error);
        if (error) {
            return false;
        }
    }
    std::filesystem::path temporary = target;
    temporary += ".tmp";

    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;

    // A temporary file left by an interrupted save is stale; O_EXCL below
    // then refuses anything that still sits at that name.
    ::unlink(temporary.c_str());
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd.valid()) {
        return false;
    }
    bool written = writeAll(fd.get(), bytes);
    if (written && hadFile) {
        written = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    }
    written = written && (!syncNow || ::fsync(fd.get()) == 0);
    written = fd.close() && written;
    written = written && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (syncNow) {
        syncFolder(target.parent_path());
    }
    return true;
}

void syncFileSystem(const std::filesystem::path& path)
{
    const std::filesystem::path name = path.empty() ? std::filesystem::path(".") : path;
    FileDescriptor fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.valid()) {
        ::syncfs(fd.get());
    }
}

} // namespace velmora
