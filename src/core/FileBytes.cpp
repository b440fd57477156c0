#include "core/FileBytes.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
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
    void reset(int fd)
    {
        close();
        fd_ = fd;
    }

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

// The longest name most file systems take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

// A name no one can predict: six letters or digits.
std::string randomTag()
{
    static constexpr std::string_view kAlphabet = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 random{std::random_device{}()};
    std::string tag(6, ' ');
    for (char& c : tag) {
        c = kAlphabet[random() % kAlphabet.size()];
    }
    return tag;
}

// Creates a fresh, empty temporary file beside `target` and opens it for
// writing. O_EXCL with O_NOFOLLOW never opens anything that stood there
// before, a symbolic link included; a taken name is tried again with
// another tag. The path is empty when no file could be made.
std::filesystem::path createTemporaryBeside(const std::filesystem::path& target, FileDescriptor& fd)
{
    static constexpr std::string_view kSuffix = ".tmp";
    std::string stem = target.filename().string();
    // ".", the stem, "." and the tag and suffix must fit one name; a cut
    // backs off UTF-8 continuation bytes so no character is split.
    const std::size_t room = kMaxNameBytes - 2 - 6 - kSuffix.size();
    if (stem.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        stem.resize(cut);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path temporary =
            target.parent_path() / ("." + stem + "." + randomTag() + std::string(kSuffix));
        fd.reset(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (fd.valid()) {
            return temporary;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

}  // namespace

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
    struct stat old {};
    const bool hadFile = ::stat(target.c_str(), &old) == 0;

    FileDescriptor fd(-1);
    const std::filesystem::path temporary = createTemporaryBeside(target, fd);
    if (temporary.empty()) {
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

}  // namespace velmora
