#include "job/NovelMerge.h"

#include "core/FileBytes.h"
#include "job/ChapterFiles.h"

namespace velmora {

void appendChapterToNovel(std::string& novel, const std::filesystem::path& folder, int position, int rowCount)
{
    if (const auto chapter = readFileBytes(chapterFileIn(folder, position))) {
        novel += *chapter;
    }
    if (position < rowCount) {
        novel += "\r\n\r\n";
    }
}

bool writeMergedNovel(std::string_view novelName, std::string_view author, std::string_view novel)
{
    return replaceFileContent(mergedFilePath(novelName, author), novel);
}

}  // namespace velmora
