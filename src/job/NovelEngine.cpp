#include "job/NovelEngine.h"

#include "core/AtomicCounter.h"
#include "core/FileBytes.h"
#include "core/WorkerPool.h"
#include "job/ChapterFetch.h"
#include "job/ChapterFiles.h"
#include "job/ChapterList.h"
#include "job/ChapterStatus.h"
#include "job/NovelMerge.h"
#include "job/RequestPace.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <unordered_map>

#include <sys/resource.h>
#include <unistd.h>

namespace velmora {

namespace {

constexpr std::string_view kInternalError = "内部错误（内存不足或意外异常）";
constexpr std::string_view kNotWritten = "章节文件无法写入";
constexpr std::string_view kNotQueued = "下载线程已停止";
constexpr int kWorkerNice = 5;

}  // namespace

// One download run. Pool jobs carry only two integers, so a job finds its run
// through the registry below by the run's number; holding the run's shared
// pointer keeps it alive for the job even when its engine is gone.
struct DownloadRun {
    DownloadRun(DownloadRequest request, ChapterObserver chapterObserver, AtomicCounter& failedCounter)
        : novel(std::move(request.novel)), folder(novelFolderPath(novel.name)), markers(std::move(request.markers)),
          options(std::move(request.options)), yieldToWindow(request.yieldToWindow),
          pace(options.maxConcurrency, options.minIntervalMs), observer(std::move(chapterObserver)),
          keepRecord(std::move(request.keepRecord)), failedCount(failedCounter), rows(std::move(request.rows))
    {
    }

    // Runs one pool job: never throws, always counts the job as ended.
    void runJob(int row) noexcept;
    void downloadRow(int row);
    // Applies `event` to the rows and hands it to the observer, one event at a
    // time, so counts and texts reach the front end in the order they happened.
    void report(ChapterEvent event);
    void fail(int row, const std::string& status, std::string_view failure);
    // One job fewer; the last one makes the run's files durable and ends it.
    void jobEnded() noexcept;
    bool isFinished() const { return finished.load(); }

    std::int32_t id = 0;
    std::optional<NovelFolderLock> folderLock;  // held from the start to the end of the run
    const NovelInfo novel;
    const std::filesystem::path folder;  // the chapter files' folder
    const ContentMarkers markers;
    const RuleOptions options;
    const bool yieldToWindow;
    RequestPace pace;  // the site's pace, shared by the run's workers
    const ChapterObserver observer;
    const std::function<void(const std::vector<ChapterRow>&, bool)> keepRecord;
    bool recording = false;  // a row is fetched: keepRecord runs at the start and at the end
    AtomicCounter& failedCount;
    std::atomic<bool> cancel{false};
    std::atomic<bool> paused{false};

    mutable std::mutex mutex;  // guards what follows, and serialises the observer
    std::condition_variable ended;
    std::vector<ChapterRow> rows;  // titles and addresses never change during the run
    int done = 0;
    int failed = 0;
    int pending = 1;  // the jobs not yet ended, plus one held by start() while it submits
    // Set under the mutex; read without it too, so that a front end asking
    // whether the run has ended never waits behind a worker that holds it.
    std::atomic<bool> finished{false};
};

namespace {

std::mutex registryMutex;
std::unordered_map<std::int32_t, std::shared_ptr<DownloadRun>> registry;
std::atomic<std::int32_t> nextRunId{1};

std::shared_ptr<DownloadRun> findRun(std::int32_t id)
{
    std::lock_guard lock(registryMutex);
    const auto it = registry.find(id);
    return it == registry.end() ? nullptr : it->second;
}

// Download workers of a run that asks for it yield the processor to the
// window thread (and whatever else the user runs): they mostly wait for the
// network, and when many chapters arrive at once their parsing and writing
// must not starve the window. Changed only when the run wants another
// priority than the thread has; a refusal changes nothing.
void setWorkerPriority(bool yield)
{
    thread_local bool lowered = false;
    if (lowered != yield) {
        lowered = yield;
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), yield ? kWorkerNice : 0);
    }
}

void downloadJob(std::int32_t row, std::int32_t runId)
{
    if (const std::shared_ptr<DownloadRun> run = findRun(runId)) {
        setWorkerPriority(run->yieldToWindow);
        run->runJob(row);
    }
}

}  // namespace

void DownloadRun::runJob(int row) noexcept
{
    try {
        if (!cancel.load()) {
            downloadRow(row);
        }
    } catch (...) {
        // Memory ran out or a routine threw: a failed chapter, not the end of the program.
        try {
            fail(row, ChapterStatus::failed(), kInternalError);
        } catch (...) {
        }
    }
    jobEnded();
}

void DownloadRun::downloadRow(int row)
{
    const ChapterRow& chapter = rows[static_cast<std::size_t>(row)];
    ChapterSource source{novel.baseAddress + chapter.address, chapter.title, markers.left, markers.right, {}};
    if (static_cast<std::size_t>(row) + 1 < rows.size()) {
        source.nextChapter = novel.baseAddress + rows[static_cast<std::size_t>(row) + 1].address;
    }
    bool attempted = false;
    std::string failure;
    const auto text = fetchChapter(
        source, SiteFetch{options, &pace, &cancel},
        [&](int attempt, const std::string& lastFailure) {
            attempted = true;
            ChapterEvent event;
            event.kind = ChapterEvent::Kind::attempt;
            event.row = row;
            event.attempt = attempt;
            event.status = attempt == 1 ? ChapterStatus::downloading() : ChapterStatus::retrying(attempt);
            event.failure = lastFailure;
            report(std::move(event));
        },
        &failure);
    if (!text) {
        if (!cancel.load()) {
            fail(row, ChapterStatus::failed(), failure);
        } else if (attempted) {
            ChapterEvent event;
            event.kind = ChapterEvent::Kind::stopped;
            event.row = row;
            event.status = ChapterStatus::waiting();
            report(std::move(event));
        }
        return;
    }
    if (!replaceFileContent(chapterFileIn(folder, row + 1), *text, Durability::later)) {
        // Not saved is not done: the row stays checked for the next run.
        fail(row, ChapterStatus::saveFailed(), kNotWritten);
        return;
    }
    ChapterEvent event;
    event.kind = ChapterEvent::Kind::saved;
    event.row = row;
    event.status = ChapterStatus::done();
    report(std::move(event));
}

void DownloadRun::fail(int row, const std::string& status, std::string_view failure)
{
    failedCount.increment();
    ChapterEvent event;
    event.kind = ChapterEvent::Kind::failed;
    event.row = row;
    event.status = status;
    event.failure = failure;
    report(std::move(event));
}

void DownloadRun::report(ChapterEvent event)
{
    std::lock_guard lock(mutex);
    ChapterRow& chapter = rows[static_cast<std::size_t>(event.row)];
    chapter.status = event.status;
    switch (event.kind) {
    case ChapterEvent::Kind::attempt:
        if (!event.failure.empty()) {
            chapter.failure = event.failure;
        }
        break;
    case ChapterEvent::Kind::saved:
        chapter.checked = false;
        chapter.failure.clear();
        ++done;
        break;
    case ChapterEvent::Kind::failed:
        chapter.failure = event.failure;
        ++failed;
        break;
    case ChapterEvent::Kind::stopped:
        break;
    }
    event.doneCount = done;
    if (observer) {
        observer(event);
    }
}

void DownloadRun::jobEnded() noexcept
{
    std::unique_lock lock(mutex);
    if (--pending > 0) {
        return;
    }
    const bool saved = done > 0;
    lock.unlock();
    if (saved) {
        // The chapter files were written without a sync each; one sync of
        // their file system makes them durable before anyone merges them.
        syncFileSystem(folder);
    }
    if (recording) {
        try {
            std::vector<ChapterRow> finalRows;
            {
                std::lock_guard rowsLock(mutex);
                finalRows = rows;
            }
            keepRecord(finalRows, true);
        } catch (...) {
            // No record is better than no end: the next run downloads more.
        }
    }
    folderLock.reset();
    {
        std::lock_guard registryLock(registryMutex);
        registry.erase(id);
    }
    lock.lock();
    finished = true;
    ended.notify_all();
}

DownloadEngine::DownloadEngine(WorkerPool& pool, AtomicCounter& failedCount) : pool_(pool), failedCount_(failedCount) {}

DownloadEngine::~DownloadEngine()
{
    stop();
    wait();
}

StartResult DownloadEngine::start(DownloadRequest request, ChapterObserver observer)
{
    if (run_ && !run_->isFinished()) {
        return StartResult::busy;
    }
    if (pool_.state() != PoolState::running && !pool_.start() && pool_.state() != PoolState::running) {
        return StartResult::noWorkers;
    }
    std::shared_ptr<DownloadRun> run;
    try {
        run = std::make_shared<DownloadRun>(std::move(request), std::move(observer), failedCount_);
    } catch (const std::bad_alloc&) {
        return StartResult::noWorkers;
    }
    run->id = nextRunId.fetch_add(1);
    const bool anyChecked =
        std::any_of(run->rows.begin(), run->rows.end(), [](const ChapterRow& row) { return row.checked; });
    if (anyChecked && createNovelFolder(run->novel.name)) {
        run->folderLock = NovelFolderLock::tryLock(run->folder);
        if (run->folderLock->status() == NovelFolderLock::Status::busy) {
            return StartResult::folderInUse;
        }
    }
    if (anyChecked && run->keepRecord) {
        run->recording = true;
        try {
            run->keepRecord(run->rows, false);
        } catch (...) {
            // As at the end: the run goes on without its record.
        }
    }
    try {
        std::lock_guard lock(registryMutex);
        registry.emplace(run->id, run);
    } catch (const std::bad_alloc&) {
        return StartResult::noWorkers;
    }
    failedCount_.exchange(0);
    run_ = run;
    const int rowCount = static_cast<int>(run->rows.size());
    for (int row = 0; row < rowCount; ++row) {
        if (!run->rows[static_cast<std::size_t>(row)].checked) {
            continue;
        }
        {
            std::lock_guard lock(run->mutex);
            ++run->pending;
        }
        if (!pool_.submit(&downloadJob, row, run->id)) {
            try {
                run->fail(row, ChapterStatus::failed(), kNotQueued);
            } catch (...) {
                // An observer that cannot take the event still leaves the row failed and counted.
            }
            run->jobEnded();
        }
    }
    run->jobEnded();  // the share start() held while submitting
    return StartResult::started;
}

void DownloadEngine::pause()
{
    if (run_ && !run_->isFinished() && !run_->cancel.load()) {
        run_->paused = true;
        pool_.pause();
    }
}

void DownloadEngine::resume()
{
    if (run_) {
        run_->paused = false;
    }
    pool_.resume();
}

void DownloadEngine::stop()
{
    if (!run_ || run_->isFinished()) {
        return;
    }
    // Jobs still queued end at once when they see the flag; transfers in
    // flight are cut short. A paused pool must move again for them to end.
    run_->cancel = true;
    run_->paused = false;
    pool_.resume();
}

bool DownloadEngine::wait(int timeoutMs)
{
    if (!run_ || run_->isFinished()) {
        return true;
    }
    if (timeoutMs == 0 && pool_.state() != PoolState::stopped) {
        return false;
    }
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(run_->mutex);
    while (!run_->finished) {
        auto slice = Clock::now() + std::chrono::milliseconds(100);
        if (timeoutMs >= 0 && deadline < slice) {
            slice = deadline;
        }
        if (run_->ended.wait_until(lock, slice, [&] { return run_->finished.load(); })) {
            break;
        }
        if (pool_.state() == PoolState::stopped) {
            // Someone stopped the pool and its queue went with it: what was
            // dropped will never run, so the run is over.
            run_->finished = true;
            break;
        }
        if (timeoutMs >= 0 && Clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}

RunState DownloadEngine::state() const
{
    if (!run_ || run_->isFinished()) {
        return RunState::idle;
    }
    if (run_->cancel.load()) {
        return RunState::stopping;
    }
    return run_->paused.load() ? RunState::paused : RunState::running;
}

bool DownloadEngine::stopRequested() const
{
    return run_ && run_->cancel.load();
}

int DownloadEngine::doneCount() const
{
    if (!run_) {
        return 0;
    }
    std::lock_guard lock(run_->mutex);
    return run_->done;
}

int DownloadEngine::failedCount() const
{
    if (!run_) {
        return 0;
    }
    std::lock_guard lock(run_->mutex);
    return run_->failed;
}

std::vector<ChapterRow> DownloadEngine::rows() const
{
    if (!run_) {
        return {};
    }
    std::lock_guard lock(run_->mutex);
    return run_->rows;
}

Completion decideCompletion(bool autoMerge, int failed)
{
    if (!autoMerge) {
        return Completion::report;
    }
    return failed > 0 ? Completion::reportFailures : Completion::merge;
}

bool MergeNovel(const NovelInfo& novel, const std::vector<ChapterRow>& rows, const std::function<void()>& afterRow)
{
    try {
        const int rowCount = static_cast<int>(rows.size());
        const std::filesystem::path folder = novelFolderPath(novel.name);
        std::string merged;
        for (int row = 0; row < rowCount; ++row) {
            if (rows[static_cast<std::size_t>(row)].status == ChapterStatus::done()) {
                appendChapterToNovel(merged, folder, row + 1, rowCount);
            }
            if (afterRow) {
                afterRow();
            }
        }
        return writeMergedNovel(novel.name, novel.author, merged);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace velmora
