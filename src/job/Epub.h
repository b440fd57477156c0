#pragma once

#include "job/JobRecord.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The novel as an EPUB 3 book, written beside the merged text file.
//
// The book holds, in this order: the "mimetype" entry (stored, not
// compressed), META-INF/container.xml, the package document OEBPS/content.opf
// (identifier, title, author, language "zh-CN", dcterms:modified), the
// navigation document OEBPS/nav.xhtml, the NCX OEBPS/toc.ncx for older
// readers, a style sheet, a title page, and one XHTML document per chapter
// (OEBPS/c<n>.xhtml) with the chapter's title as its heading and each
// non-blank line of its text, trimmed of spaces, as a paragraph. Text is
// escaped for XML, and characters XML cannot hold (control characters other
// than tab and line breaks) are left out.
namespace velmora {

// One chapter, in GBK as stored: its title and its text.
struct EpubChapter {
    std::string title;
    std::string text;
};

struct EpubBook {
    std::string listAddress;  // GBK; with the name, fixes the book's identifier
    std::string novelName;    // GBK; an empty name shows as "未命名"
    std::string author;       // GBK; an empty author is left out of the metadata
    std::vector<EpubChapter> chapters;
};

// "name(author).epub" in the working folder, named by the rules of
// mergedFilePath.
std::filesystem::path epubFilePath(std::string_view novelName, std::string_view author);

// A stored chapter file split into its title (up to the first line break)
// and its text (after it).
EpubChapter splitStoredChapter(std::string_view stored);

// The book of a job: its list address, name and author, and the stored
// chapter of every saved row in list order. A saved row whose chapter file
// is missing or unreadable is left out, as the merged text leaves it out.
EpubBook epubBookFromRecord(const JobRecord& record, const std::filesystem::path& novelFolder);

// "urn:uuid:" and a name-based (SHA-1) UUID of the list address and novel
// name: the same novel from the same list keeps its identifier each time its
// book is written, so a reader treats a new book as a new edition of it.
std::string epubIdentifier(std::string_view listAddress, std::string_view novelName);

// Writes `book` to `file` whole (through a temporary file, then a rename):
// on failure an earlier file stays as it was and the result is false. A
// chapter without a title is headed by its number; a book without chapters
// holds the title page alone.
bool writeEpubFile(const EpubBook& book, const std::filesystem::path& file);

}  // namespace velmora
