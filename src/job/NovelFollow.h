#pragma once

#include "job/JobRecord.h"
#include "job/NovelEngine.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Following a novel across runs with its job record (JobRecord.h): what a
// fresh list keeps from the record, and the record each front end writes
// after a retrieval and around each download run. Texts are GBK as stored,
// messages UTF-8.
namespace velmora {

// The job a record belongs to.
struct JobIdentity {
    std::string listAddress;  // the chapter-list address the rows were read from
    std::string ruleName;     // the rule they were read with
    NovelInfo novel;
};

// A fresh list judged against the novel's record.
struct ResumeCheck {
    JobRecordStatus status = JobRecordStatus::missing;
    std::string message;        // UTF-8; for a damaged or foreign record, why it is ignored
    std::vector<RowPlan> plan;  // one per row; every row unrecorded unless the record was read
    int doneCount = 0;          // rows judged done

    bool ignored() const { return status == JobRecordStatus::damaged || status == JobRecordStatus::foreign; }
};

// Reads the record of the novel's folder (foreign when it names another list
// address or novel) and judges `rows` with planRows.
ResumeCheck checkJobRecord(std::string_view listAddress, const NovelInfo& novel, std::span<const ChapterRow> rows);

// Shows the rows the check judged done as "下载完毕" and unchecked; others are
// left as they are.
void keepDoneRows(std::vector<ChapterRow>& rows, const ResumeCheck& check);

// The record of `rows` as they stand: a row is saved when its status is
// "下载完毕" or `plan` (when given) judged it done, except, with
// `runStarting`, a checked row, whose chapter file the run may replace.
JobRecord jobRecordOfRows(const JobIdentity& job, std::span<const ChapterRow> rows, std::span<const RowPlan> plan = {},
                          bool runStarting = false);

// When the record to write next is due.
enum class RecordMoment {
    listFetched,  // a fresh list: written only over a record that reads well, else left alone
    runStarting,  // the novel folder is locked and no chapter file replaced yet
    runEnded,     // the run's rows as they ended; the folder still locked
};

// Writes the novel's record for `rows` at `moment`, carrying over from the
// record already there (when it belongs to this job) the rows it holds
// saved at the same position with the same address and title. True when
// written, or when nothing was due.
bool updateJobRecord(const JobIdentity& job, std::span<const ChapterRow> rows, RecordMoment moment);

// The EPUB book of the rows shown "下载完毕", as the merge takes them, written
// beside the merged novel (epubFilePath). False when it could not be written.
bool writeNovelEpub(const JobIdentity& job, std::span<const ChapterRow> rows);

}  // namespace velmora
