#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

// Appends the stored chapter of the row at `position` (from 1), read from
// the novel's `folder` (novelFolderPath), to `novel`, then "\r\n\r\n" unless
// the row is the list's last. A missing or unreadable chapter file adds no
// bytes, but its separator is still written.
void appendChapterToNovel(std::string& novel, const std::filesystem::path& folder, int position, int rowCount);

// Writes the merged novel "name(author).txt" through a temporary file, so a
// failed write leaves an earlier merged file whole.
bool writeMergedNovel(std::string_view novelName, std::string_view author, std::string_view novel);

}  // namespace velmora
