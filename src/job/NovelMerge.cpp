#include "job/NovelMerge.h"

#include "core/FileBytes.h"
#include "job/ChapterFiles.h"

namespace velmora {

void AppendChapterToNovel(std::string& novel, std::string_view novelName, int position, int rowCount)
{
    if (const auto chapter = readFileBytes(ChapterFilePath(novelName, position))) {
        novel += *chapter;
    }
    if (position < rowCount) {
        novel += "\r\n\r\n";
    }
}

bool WriteMergedNovel(std::string_view novelName, std::string_view author, std::string_view novel)
{
    return replaceFileContent(MergedFilePath(novelName, author), novel);
}

}  // namespace velmora
