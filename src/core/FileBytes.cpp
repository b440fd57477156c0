#include "core/FileBytes.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <random>
#include <string>
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

std::atomic<bool> unnamedFiles{true};

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

// Gives a fresh temporary name beside `target` to a file: `make` creates or
// links the file under the name it is given and fails with EEXIST when the
// name is taken, which is then tried again with another tag. The name is
// empty when no file was made.
template <typename Make>
std::filesystem::path nameBeside(const std::filesystem::path& target, Make make)
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
        if (make(temporary)) {
            return temporary;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return {};
}

// Creates a fresh, empty temporary file beside `target` and opens it for
// writing. O_EXCL with O_NOFOLLOW never opens anything that stood there
// before, a symbolic link included.
std::filesystem::path createTemporaryBeside(const std::filesystem::path& target, FileDescriptor& fd)
{
    return nameBeside(target, [&](const std::filesystem::path& name) {
        fd.reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        return fd.valid();
    });
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

namespace {

// Gives the unnamed file open on `fd` the name `name`, which must be free;
// errno tells why not.
bool linkUnnamed(int fd, const std::filesystem::path& name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// The file a replacement lands on: `file`, or where it leads when it is a
// symbolic link; with the permission bits of what stands there, if anything.
std::optional<std::filesystem::path> replacedFile(const std::filesystem::path& file, std::optional<mode_t>& oldMode)
{
    std::filesystem::path target = file;
    struct stat old {};
    bool hadFile = ::lstat(file.c_str(), &old) == 0;
    if (hadFile && S_ISLNK(old.st_mode)) {
        // The link stays; the file it leads to is replaced.
        std::error_code error;
        target = std::filesystem::canonical(file, error);
        if (error) {
            return std::nullopt;
        }
        hadFile = ::stat(target.c_str(), &old) == 0;
    }
    oldMode = hadFile ? std::optional<mode_t>(old.st_mode & 07777) : std::nullopt;
    return target;
}

// Puts the whole file open on `fd` in the place of `target`, under a
// temporary name first. `fd` is closed either way.
bool renameOver(FileDescriptor& fd, const std::filesystem::path& temporary, const std::filesystem::path& target,
                std::optional<mode_t> oldMode)
{
    bool written = !oldMode || ::fchmod(fd.get(), *oldMode) == 0;
    written = fd.close() && written;
    written = written && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
    }
    return written;
}

}  // namespace

bool replaceFileContent(const std::filesystem::path& file, std::string_view bytes, Durability durability)
{
    const bool syncNow = durability == Durability::now;
    const auto fill = [&](const FileDescriptor& fd) {
        return writeAll(fd.get(), bytes) && (!syncNow || ::fsync(fd.get()) == 0);
    };
    const std::filesystem::path folder = file.parent_path();

    // The bytes go to an unnamed file in the folder first, named only once it
    // is whole: a crash leaves nothing behind, and a new file changes the
    // folder once. A file system without unnamed files, or a system without
    // /proc to name them through, takes the named temporary file below.
    FileDescriptor fd(unnamedFiles.load(std::memory_order_relaxed)
                          ? ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666)
                          : -1);
    if (fd.valid()) {
        if (!fill(fd)) {
            return false;
        }
        if (linkUnnamed(fd.get(), file)) {
            if (!fd.close()) {
                ::unlink(file.c_str());  // the name was free: nothing stood there before
                return false;
            }
            if (syncNow) {
                syncFolder(folder);
            }
            return true;
        }
        if (errno != EEXIST) {
            fd.close();
        }
    }

    // Something stands at `file`: the new bytes go beside the file they
    // replace under a temporary name, then are renamed over it. The unnamed
    // file, when there is one, is linked there; otherwise (or when a link
    // leads to another file system) a named temporary file is written.
    std::optional<mode_t> oldMode;
    const std::optional<std::filesystem::path> target = replacedFile(file, oldMode);
    if (!target) {
        return false;
    }
    std::filesystem::path temporary;
    if (fd.valid()) {
        temporary = nameBeside(*target, [&](const std::filesystem::path& name) { return linkUnnamed(fd.get(), name); });
    }
    if (temporary.empty()) {
        temporary = createTemporaryBeside(*target, fd);
        if (temporary.empty()) {
            return false;
        }
        if (!fill(fd)) {
            fd.close();
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (!renameOver(fd, temporary, *target, oldMode)) {
        return false;
    }
    if (syncNow) {
        syncFolder(target->parent_path());
    }
    return true;
}

void setUnnamedTemporaryFiles(bool use)
{
    unnamedFiles.store(use);
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
