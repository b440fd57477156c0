#include "job/ChapterFiles.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/Text.h"
#include "job/ChapterText.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

// Longest novel name and author, in bytes on disk (UTF-8): the merged file's
// "name(author).txt", and the temporary name it is written under (a "."
// before it and ".XXXXXX.tmp" after), stay within the 255-byte limit of
// one name. 120 bytes hold 40 Chinese characters.
constexpr std::size_t kMaxNameBytes = 120;
constexpr std::size_t kMaxAuthorBytes = 90;

constexpr bool isTrailByte(unsigned char c)
{
    return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

fs::path fsName(std::string_view gbk)
{
    return fs::path(encoding::gbkToUtf8(safeFileName(gbk)));
}

// The characters of a GBK name made safe for a file name, cut where the next
// one would take the name past `maxDiskBytes` once converted. A character is
// a lead byte with its trail byte, or one byte; a lead byte without a trail
// byte stands alone, so the byte after it is judged on its own. ASCII
// separators, the characters \ : * ? " < > | and control bytes become "_",
// and so does every byte or pair that names no character (it would reach
// the disk as U+FFFD). Trailing dots and spaces are dropped.
std::string sanitize(std::string_view gbkName, std::size_t maxDiskBytes)
{
    static constexpr std::string_view kForbidden = "\\/:*?\"<>|";
    static constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";
    std::string out;
    std::size_t diskBytes = 0;
    for (std::size_t i = 0; i < gbkName.size();) {
        const auto c = static_cast<unsigned char>(gbkName[i]);
        const bool pair =
            text::isLeadByte(c) && i + 1 < gbkName.size() && isTrailByte(static_cast<unsigned char>(gbkName[i + 1]));
        std::string piece(gbkName.substr(i, pair ? 2 : 1));
        i += piece.size();
        std::size_t width = 1;
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F || kForbidden.find(static_cast<char>(c)) != std::string_view::npos) {
                piece = "_";
            }
        } else {
            const std::string utf8 = encoding::gbkToUtf8(piece);
            if (utf8.find(kReplacementCharacter) != std::string::npos) {
                piece = "_";
            } else {
                width = utf8.size();
            }
        }
        if (diskBytes + width > maxDiskBytes) {
            break;
        }
        diskBytes += width;
        out += piece;
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

}  // namespace

std::string safeFileName(std::string_view gbkName)
{
    std::string out = sanitize(gbkName, kMaxNameBytes);
    if (out.empty() || out == "." || out == "..") {
        out = "_";
    }
    return out;
}

fs::path novelFolderPath(std::string_view novelName)
{
    return fsName(novelName);
}

fs::path chapterFilePath(std::string_view novelName, int position)
{
    return chapterFileIn(novelFolderPath(novelName), position);
}

fs::path chapterFileIn(const fs::path& folder, int position)
{
    return folder / (text::decimal(position) + ".txt");
}

fs::path mergedFilePath(std::string_view novelName, std::string_view author)
{
    return fs::path(
        encoding::gbkToUtf8(sanitize(novelName, kMaxNameBytes) + "(" + sanitize(author, kMaxAuthorBytes) + ").txt"));
}

bool createNovelFolder(std::string_view novelName)
{
    if (novelName.empty()) {
        return false;
    }
    std::error_code error;
    fs::create_directories(novelFolderPath(novelName), error);
    return fs::is_directory(novelFolderPath(novelName), error);
}

bool saveChapterFile(std::string_view novelName, int position, std::string_view text)
{
    std::error_code error;
    fs::create_directories(novelFolderPath(novelName), error);
    return replaceFileContent(chapterFilePath(novelName, position), text);
}

std::string chapterFileText(std::string_view title, std::string_view page, std::string_view leftMarker,
                            std::string_view rightMarker)
{
    std::string text(title);
    text += "\r\n";
    text += TextBetween(page, leftMarker, rightMarker);
    return CleanChapterText(text);
}

std::string RelativeBaseAddress(std::string_view listAddress, std::string_view firstChapterAddress)
{
    const bool rooted = text::startsWith(firstChapterAddress, "/");
    int climbs = text::countOccurrences(firstChapterAddress, "/", false) + (rooted ? 0 : 1);
    int p = static_cast<int>(listAddress.size()) + 1;
    while (climbs-- > 0 && p != -1) {
        p = text::findLast(listAddress, "/", p);
    }
    const int length = rooted ? p - 1 : p;
    return length <= 0 ? std::string() : std::string(listAddress.substr(0, static_cast<std::size_t>(length)));
}

}  // namespace velmora
