// Cuts and cleans arbitrary pages with arbitrary markers, then removes the
// remaining mark-up with the markers as texts to remove. The input is split
// at the first two 0x00 bytes into page, left marker and right marker.
#include "job/ChapterText.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string_view parts[3];
    for (int i = 0; i < 2; ++i) {
        const std::size_t cut = input.find('\0');
        parts[i] = input.substr(0, cut);
        input = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
    }
    parts[2] = input;
    const std::string_view page = parts[2];
    const std::string cut = velmora::TextBetween(page, parts[0], parts[1]);
    if (!cut.empty() && page.find(cut) == std::string_view::npos) {
        std::abort();  // a cut is always a piece of the page
    }
    const std::string plain =
        velmora::removeRemainingMarkup(velmora::CleanChapterText(page), {std::string(parts[0]), std::string(parts[1])});
    for (const char c : plain) {
        const auto b = static_cast<unsigned char>(c);
        if ((b < 0x20 && c != '\t' && c != '\r' && c != '\n') || b == 0x7F) {
            std::abort();  // control characters never survive the cleanup
        }
    }
    return 0;
}
