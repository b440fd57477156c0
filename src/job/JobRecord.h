#pragma once

#include "job/ChapterList.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The record a novel's folder keeps of its download job, so that a later
// start can fetch the list again and download only what is not yet saved.
//
// The record is the file "下载记录.txt" inside the novel's folder (see
// novelFolderPath). It is GBK text like every file the program stores, so that
// titles and addresses come back byte for byte as they were captured, even
// bytes that form no character, and compare exactly with a fresh capture.
// Lines end with CR LF (a bare LF is accepted when reading):
//
//   velmora-job 1                  format name and version
//   列表网址=<list address>         header, "key=value", in this order
//   规则=<rule name>
//   书名=<novel name>
//   作者=<author>
//   章节数=<number of rows>
//                                  one empty line
//   <number>\t<saved>\t<address>\t<title>      one line per row, in list order
//
// <saved> is 1 when the row's chapter file holds that row's chapter (its
// status was "下载完毕"), else 0. In every value and field the bytes "\"
// (0x5C), TAB, LF and CR are written as "\\", "\t", "\n" and "\r", and every
// other byte below 0x20 and 0x7F as "\xHH" (two upper-case hex digits); the
// escaping works on bytes, so a double-byte character whose trail byte is
// 0x5C shows a doubled "\" in a text viewer and still reads back exactly.
namespace velmora {

// The record's file name inside a novel's folder, as a file-system name.
std::filesystem::path jobRecordPath(const std::filesystem::path& novelFolder);

// One row of the chapter list. The row at index i (from 0) owns the chapter
// file "<i + 1>.txt" of the novel's folder; `number` is the row's number
// column, which moving rows in the list leaves behind its position.
struct JobRecordRow {
    int number = 0;
    bool saved = false;
    std::string address;  // as captured from the list page, GBK
    std::string title;    // GBK

    bool operator==(const JobRecordRow&) const = default;
};

struct JobRecord {
    std::string listAddress;  // the chapter-list address the rows were read from, GBK
    std::string ruleName;     // the rule the list was read with, GBK
    std::string novelName;    // GBK; names the folder the record lives in
    std::string author;       // GBK
    std::vector<JobRecordRow> rows;

    bool operator==(const JobRecord&) const = default;
};

// The record as file text, in the format above.
std::string jobRecordText(const JobRecord& record);

// Writes `record` as the record of `novelFolder`, creating the folder when
// it is missing. The file is replaced whole (temporary file, then rename):
// on failure the earlier record, if any, stays as it was and the result is
// false. A row number below 0 is written as 0. Meant to be called after a
// list is fetched, with the rows planRows judged done marked saved (whether
// or not they are downloaded again: their files hold their chapters either
// way), and after each download run, with the rows showing "下载完毕" saved.
bool writeJobRecord(const JobRecord& record, const std::filesystem::path& novelFolder);

enum class JobRecordStatus {
    ok,       // the record was read and belongs to the job expected
    missing,  // the folder holds no record
    damaged,  // a record that cannot be read: malformed, truncated, unreadable
    foreign,  // not a record of this program or version, or of another novel
};

struct JobRecordResult {
    JobRecordStatus status = JobRecordStatus::missing;
    JobRecord record;     // filled only when status is ok
    std::string message;  // for the user, UTF-8 Chinese; empty when status is ok

    bool ok() const { return status == JobRecordStatus::ok; }
};

// Reads the record of `novelFolder`. Anything but a well-formed record of
// this format version gives an empty record, a status saying why, and a
// message naming the fault (with its line number for a malformed line).
// Header keys this version does not know are skipped; a missing or repeated
// key, a row line without exactly four fields, a number that is not a
// decimal, a saved flag other than 0 or 1, an unknown escape, a row
// count that differs from 章节数, and a last line without its line break all
// make the record damaged.
JobRecordResult readJobRecord(const std::filesystem::path& novelFolder);

// As above, and a record whose list address or novel name is not the one
// given (byte for byte) is foreign: its rows say nothing about this list.
JobRecordResult readJobRecord(const std::filesystem::path& novelFolder, std::string_view expectedListAddress,
                              std::string_view expectedNovelName);

// Reads record text as readJobRecord reads the file (the status is never
// missing).
JobRecordResult parseJobRecord(std::string_view bytes);

// What a freshly retrieved row needs, judged against the record.
enum class RowPlan {
    done,            // saved for this address and title, chapter file present: show "下载完毕", unchecked
    unrecorded,      // the record has no row at this position
    notSaved,        // the record's row here was never saved
    addressChanged,  // the position now stands for another chapter (one was inserted or removed before it)
    titleChanged,    // same address, another title: the site has replaced the chapter
    fileMissing,     // saved, but its chapter file is gone
};

// Decides for each freshly retrieved row (`rows`, in list order; the row at
// index i is numbered i + 1 and owns chapter file i + 1) whether it is done:
// only when the record's row at the same position was saved with the same
// address and title, and that chapter file still exists in `novelFolder`.
// Every other row is to be downloaded, so a merged novel never holds one
// chapter's text under another chapter's title. An empty record (as for a
// missing, damaged or foreign one) makes every row unrecorded.
std::vector<RowPlan> planRows(const JobRecord& record, std::span<const ChapterLink> rows,
                              const std::filesystem::path& novelFolder);

// The folders directly inside `directory` (a working folder) that hold a
// record file, sorted by name; whether each record reads well is for
// readJobRecord to tell. An unreadable directory gives no folders.
std::vector<std::filesystem::path> findJobFolders(const std::filesystem::path& directory);

}  // namespace velmora
