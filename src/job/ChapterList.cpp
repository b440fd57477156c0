#include "job/ChapterList.h"

#include "core/RegexObject.h"
#include "core/Text.h"

namespace velmora {

namespace {

void appendLinks(const RegexObject& regex, std::vector<ChapterLink>& chapters)
{
    const int matches = regex.matchCount();
    const int pairs = regex.groupCount() / 2;
    chapters.reserve(chapters.size() + static_cast<std::size_t>(matches) * static_cast<std::size_t>(pairs));
    for (int m = 1; m <= matches; ++m) {
        for (int j = 1; j <= pairs; ++j) {
            chapters.push_back({regex.groupText(m, 2 * j - 1), regex.groupText(m, 2 * j)});
        }
    }
}

}  // namespace

std::vector<ChapterLink> parseChapterLinks(std::string_view pageText, std::string_view chapterListPattern)
{
    RegexObject regex;
    regex.run(chapterListPattern, pageText);
    std::vector<ChapterLink> chapters;
    appendLinks(regex, chapters);
    return chapters;
}

ChapterListPage parseChapterList(std::string_view pageText, std::string_view novelNamePattern,
                                 std::string_view authorPattern, std::string_view chapterListPattern)
{
    ChapterListPage page;
    RegexObject regex;
    regex.run(novelNamePattern, pageText);
    page.novelName = text::trimSpaces(regex.groupText(1, 1));
    regex.run(authorPattern, pageText);
    page.author = text::removeSpaces(regex.groupText(1, 1));

    regex.run(chapterListPattern, pageText);
    appendLinks(regex, page.chapters);
    page.firstAddress = regex.groupText(1, 1);
    return page;
}

}  // namespace velmora
