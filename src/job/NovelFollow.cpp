#include "job/NovelFollow.h"

#include "job/ChapterFiles.h"
#include "job/ChapterStatus.h"
#include "job/Epub.h"

#include <algorithm>
#include <optional>

namespace velmora {

namespace fs = std::filesystem;

namespace {

std::vector<ChapterLink> linksOf(std::span<const ChapterRow> rows)
{
    std::vector<ChapterLink> links;
    links.reserve(rows.size());
    for (const ChapterRow& row : rows) {
        links.push_back({row.address, row.title});
    }
    return links;
}

}  // namespace

ResumeCheck checkJobRecord(std::string_view listAddress, const NovelInfo& novel, std::span<const ChapterRow> rows)
{
    ResumeCheck check;
    const fs::path folder = novelFolderPath(novel.name);
    JobRecordResult read = readJobRecord(folder, listAddress, novel.name);
    check.status = read.status;
    if (read.ok()) {
        check.plan = planRows(read.record, linksOf(rows), folder);
    } else {
        check.plan.assign(rows.size(), RowPlan::unrecorded);
        if (check.ignored()) {
            check.message = std::move(read.message);
        }
    }
    check.doneCount = static_cast<int>(std::count(check.plan.begin(), check.plan.end(), RowPlan::done));
    return check;
}

void keepDoneRows(std::vector<ChapterRow>& rows, const ResumeCheck& check)
{
    for (std::size_t i = 0; i < rows.size() && i < check.plan.size(); ++i) {
        if (check.plan[i] == RowPlan::done) {
            rows[i].status = ChapterStatus::done();
            rows[i].checked = false;
        }
    }
}

JobRecord jobRecordOfRows(const JobIdentity& job, std::span<const ChapterRow> rows, std::span<const RowPlan> plan,
                          bool runStarting)
{
    JobRecord record{job.listAddress, job.ruleName, job.novel.name, job.novel.author, {}};
    record.rows.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const ChapterRow& row = rows[i];
        const bool known = row.status == ChapterStatus::done() || (i < plan.size() && plan[i] == RowPlan::done);
        record.rows.push_back({row.number, known && !(runStarting && row.checked), row.address, row.title});
    }
    return record;
}

bool updateJobRecord(const JobIdentity& job, std::span<const ChapterRow> rows, RecordMoment moment)
{
    const fs::path folder = novelFolderPath(job.novel.name);
    if (job.novel.name.empty()) {
        return false;
    }
    // Around a run the engine holds the folder's lock; a fresh list takes it
    // here, and leaves a folder another program is downloading into alone.
    std::optional<NovelFolderLock> lock;
    if (moment == RecordMoment::listFetched) {
        lock = NovelFolderLock::tryLock(folder);
        if (!lock->owned()) {
            return true;
        }
    }
    const ResumeCheck check = checkJobRecord(job.listAddress, job.novel, rows);
    // A fresh list alone changes no chapter file: a damaged or foreign record
    // stays for the user to see until a run replaces it.
    if (moment == RecordMoment::listFetched && check.status != JobRecordStatus::ok) {
        return true;
    }
    return writeJobRecord(jobRecordOfRows(job, rows, check.plan, moment == RecordMoment::runStarting), folder);
}

bool writeNovelEpub(const JobIdentity& job, std::span<const ChapterRow> rows)
{
    JobRecord record = jobRecordOfRows(job, rows);
    return writeEpubFile(epubBookFromRecord(record, novelFolderPath(job.novel.name)),
                         epubFilePath(job.novel.name, job.novel.author));
}

}  // namespace velmora
