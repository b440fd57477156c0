#pragma once

#include "core/FolderLock.h"

#include <filesystem>
#include <string>
#include <string_view>

// Where a novel's files go and how they are written. Novel names and authors
// come from remote pages, so every file-system name is derived through
// safeFileName and never taken as it stands.
namespace velmora {

// A GBK text made safe as one file-system name, judged by whole characters
// (a lead byte 0x81-0xFE takes the next byte only when that is a trail byte,
// 0x40-0xFE but 0x7F): path separators, the characters \ / : * ? " < > |,
// control characters and bytes that form no character become "_", trailing
// dots and spaces are dropped, the name is cut between characters to 120
// bytes as written to disk (in UTF-8), leaving room for "(author).txt" and a
// temporary suffix, and "", "." and ".." become "_".
std::string safeFileName(std::string_view gbkName);

// The folder of a novel's chapter files, relative to the working directory.
// An unnamed novel's folder is "_".
std::filesystem::path novelFolderPath(std::string_view novelName);

// Creates the novel's folder (an existing one is fine) and tells whether it
// is there. An empty name, as after a failed chapter-list retrieval, makes
// no folder and gives false.
bool createNovelFolder(std::string_view novelName);

// Writes a chapter file whole (see replaceFileContent), creating the novel's
// folder first when it is missing, so an unnamed novel's chapters still
// find their folder.
bool saveChapterFile(std::string_view novelName, int position, std::string_view text);

// Held by a download over the novel's folder, so that a second copy of the
// program downloading into the same folder is refused:
// NovelFolderLock::tryLock(novelFolderPath(name)) once the folder exists.
using NovelFolderLock = FolderLock;

// The chapter file of the row at `position` (counted from 1).
std::filesystem::path chapterFilePath(std::string_view novelName, int position);
// The same inside a novel's folder (novelFolderPath) that is already known.
std::filesystem::path chapterFileIn(const std::filesystem::path& folder, int position);

// The merged novel: "name(author).txt" beside the chapter folder, each part
// made safe like safeFileName (an empty part stays empty; the author is cut
// to 90 bytes on disk).
std::filesystem::path mergedFilePath(std::string_view novelName, std::string_view author);

// The stored form of a chapter: title, CR LF, then the text cut out of the
// page between the markers, the whole cleaned.
std::string chapterFileText(std::string_view title, std::string_view page, std::string_view leftMarker,
                            std::string_view rightMarker);

// The prefix that turns the chapter addresses captured from a list page into
// full addresses: each "/" in the first chapter's address climbs one folder
// of the list address.
std::string RelativeBaseAddress(std::string_view listAddress, std::string_view firstChapterAddress);

}  // namespace velmora
