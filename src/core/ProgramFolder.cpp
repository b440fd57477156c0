#include "core/ProgramFolder.h"

#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace velmora {
namespace fs = std::filesystem;

namespace {

bool writable(const fs::path& folder)
{
    std::error_code ec;
    return !folder.empty() && fs::is_directory(folder, ec) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

fs::path userDataFolder()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        return fs::path(xdg) / "velmora";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return fs::path(home) / ".local" / "share" / "velmora";
    }
    return {};
}

}  // namespace

fs::path programFolder()
{
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

fs::path workingFolderFor(const fs::path& preferred)
{
    if (writable(preferred)) {
        return preferred;
    }
    const fs::path data = userDataFolder();
    std::error_code ec;
    if (!data.empty()) {
        fs::create_directories(data, ec);
    }
    return writable(data) ? data : fs::path();
}

fs::path enterProgramFolder()
{
    const fs::path folder = workingFolderFor(programFolder());
    std::error_code ec;
    if (folder.empty()) {
        return {};
    }
    fs::current_path(folder, ec);
    return ec ? fs::path() : folder;
}

}  // namespace velmora
