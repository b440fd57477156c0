#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// One chapter of a list page, as captured: its address (as a rule, relative
// to the site) and its title.
struct ChapterLink {
    std::string address;
    std::string title;

    bool operator==(const ChapterLink&) const = default;
};

// What a rule's three patterns read from a chapter-list page.
struct ChapterListPage {
    std::string novelName;  // group 1 of the name pattern, spaces trimmed at both ends
    std::string author;     // group 1 of the author pattern, every space removed
    std::vector<ChapterLink> chapters;
    std::string firstAddress;  // group 1 of the list pattern's first match
};

// Applies a rule's patterns to page text. Each list match holds (address,
// title) pairs in groups 1-2, 3-4, ...; a trailing odd group is ignored. A
// pattern that is invalid or does not match reads as empty.
// The (address, title) pairs of `chapterListPattern` alone, as above.
std::vector<ChapterLink> parseChapterLinks(std::string_view pageText, std::string_view chapterListPattern);

ChapterListPage parseChapterList(std::string_view pageText, std::string_view novelNamePattern,
                                 std::string_view authorPattern, std::string_view chapterListPattern);

}  // namespace velmora
