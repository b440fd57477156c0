#include "job/ChapterFiles.h"

#include "core/Encoding.h"
#include "core/Text.h"
#include "job/ChapterText.h"

namespace velmora {
namespace fs = std::filesystem;

namespace {

// Room for "name(author).txt" within the usual 255-byte limit of one name,
// even when every GBK character grows to three UTF-8 bytes.
constexpr std::size_t kMaxNameBytes = 80;

fs::path fsName(std::string_view gbk)
{
    return fs::path(encoding::gbkToUtf8(SafeFileName(gbk)));
}

// SafeFileName without the last step, for parts of a longer name.
std::string sanitize(std::string_view gbkName)
{
    static constexpr std::string_view kForbidden = "\\/:*?\"<>|";
    std::string out;
    for (std::size_t i = 0; i < gbkName.size();) {
        const std::size_t len = text::charLength(gbkName, i);
        if (out.size() + len > kMaxNameBytes) {
            break;
        }
        const unsigned char c = static_cast<unsigned char>(gbkName[i]);
        const bool control = c < 0x20 || c == 0x7F || c == 0xFF;
        if (len == 1 && (control || kForbidden.find(gbkName[i]) != std::string_view::npos)) {
            out.push_back('_');
        } else {
            out.append(gbkName.substr(i, len));
        }
        i += len;
    }
    while (!out.empty() && (out.back() == '.' || out.back() == ' ')) {
        out.pop_back();
    }
    return out;
}

} // namespace

std::string SafeFileName(std::string_view gbkName)
{
    std::string out = sanitize(gbkName);
    if (out.empty() || out == "." || out == "..") {
        out = "_";
    }
    return out;
}

fs::path NovelFolder(std::string_view novelName)
{
    return fsName(novelName);
}

fs::path ChapterFilePath(std::string_view novelName, int position)
{
    return NovelFolder(novelName) / (text::decimal(position) + ".txt");
}

fs::path MergedFilePath(std::string_view novelName, std::string_view author)
{
    return fs::path(encoding::gbkToUtf8(sanitize(novelName) + "(" + sanitize(author) + ").txt"));
}

std::string ChapterFileText(std::string_view title, std::string_view page, std::string_view leftMarker,
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

} // namespace velmora
