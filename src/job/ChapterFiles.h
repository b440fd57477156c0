#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// Where a novel's files go and how they are written. Novel names and authors
// come from remote pages, so every file-system name is derived through
// SafeFileName and never taken as it stands.
namespace velmora {

// A GBK text made safe as one file-system name: path separators, the
// characters \ / : * ? " < > | and control characters become "_", trailing
// dots and spaces are dropped, the length is limited (never inside a
// double-byte character), and "", "." and ".." become "_".
std::string SafeFileName(std::string_view gbkName);

// The folder of a novel's chapter files, relative to the working directory.
std::filesystem::path NovelFolder(std::string_view novelName);

// The chapter file of the row at `position` (counted from 1).
std::filesystem::path ChapterFilePath(std::string_view novelName, int position);

// The merged novel: "name(author).txt" beside the chapter folder, each part
// made safe like SafeFileName (an empty part stays empty).
std::filesystem::path MergedFilePath(std::string_view novelName, std::string_view author);

// The stored form of a chapter: title, CR LF, then the text cut out of the
// page between the markers, the whole cleaned.
std::string ChapterFileText(std::string_view title, std::string_view page, std::string_view leftMarker,
                            std::string_view rightMarker);

// The prefix that turns the chapter addresses captured from a list page into
// full addresses: each "/" in the first chapter's address climbs one folder
// of the list address.
std::string RelativeBaseAddress(std::string_view listAddress, std::string_view firstChapterAddress);

} // namespace velmora
