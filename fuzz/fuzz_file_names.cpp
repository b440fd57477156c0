// Turns arbitrary novel names and authors into file names. The input is
// split at its first 0x00 byte into name and author. Whatever comes in, the
// folder name must be one safe path component and the merged file's name
// must fit one name on disk.
#include "job/ChapterFiles.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// No separator, no control byte, and nothing that would turn the component
// into a reference to this folder or the one above it.
bool isSafeComponent(std::string_view name, std::size_t maxBytes)
{
    if (name.empty() || name == "." || name == ".." || name.size() > maxBytes) {
        return false;
    }
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '/' || b < 0x20 || b == 0x7F) {
            return false;
        }
    }
    return name.find("\xEF\xBF\xBD") == std::string_view::npos;  // no byte lost as U+FFFD
}

// Every lead byte of the GBK name has its trail byte.
bool isWholeGbk(std::string_view name)
{
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (b >= 0x81 && b <= 0xFE) {
            if (i + 1 == name.size()) {
                return false;
            }
            const auto trail = static_cast<unsigned char>(name[++i]);
            if (trail < 0x40 || trail == 0x7F || trail == 0xFF) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\0');
    const std::string_view name = input.substr(0, cut);
    const std::string_view author = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);

    const std::string safe = velmora::safeFileName(name);
    const std::string folder = velmora::novelFolderPath(name).string();
    const std::string merged = velmora::mergedFilePath(name, author).string();
    if (!isWholeGbk(safe) || !isSafeComponent(folder, 120) || !isSafeComponent(merged, 255 - 16)
        || velmora::chapterFilePath(name, 1).string() != folder + "/1.txt") {
        std::abort();
    }
    return 0;
}
