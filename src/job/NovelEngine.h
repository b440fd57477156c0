#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rules/RuleOptions.h"

// The download engine: one novel's chapter-list retrieval, the download of
// its checked chapters over the worker pool, pause, continue and stop, and
// the merge, with no window in sight. Front ends (the main window, the
// command line) keep their own view of the rows and learn what happens from
// the engine's events.
//
// Stored texts (names, titles, addresses, statuses, patterns, markers) are
// GBK byte strings, exactly as they go to disk; failure reasons are UTF-8
// text for people and never stored. A site's rule comes from RuleStore
// (rules/RuleStore.h: lookupRuleIndex, readRule); its patterns and markers
// fill ListPatterns and ContentMarkers.
namespace velmora {

class AtomicCounter;
class WorkerPool;

// The rule's three list patterns (GBK), applied to the chapter-list page.
struct ListPatterns {
    std::string novelName;
    std::string author;
    std::string chapterList;
};

// The rule's content markers (GBK; "#引号" stands for a double quote).
struct ContentMarkers {
    std::string left;
    std::string right;
};

// One chapter of the list. `status` is one of the ChapterStatus texts;
// `checked` means "to be downloaded" and is cleared once the chapter file is
// written. A row's position in the list (from 1) names its chapter file.
struct ChapterRow {
    int number = 0;       // the number shown, counted from 1 in the order the rows were made
    std::string title;    // as captured
    std::string address;  // as captured, as a rule relative to the site
    std::string status;
    bool checked = true;
    std::string failure;  // UTF-8: why the last attempt failed; empty when it did not
};

// What a retrieval found about the novel.
struct NovelInfo {
    std::string name;    // spaces trimmed at both ends; names the chapter folder
    std::string author;  // every space removed
    // Put in front of each row's address: RelativeBaseAddress, or empty when
    // the rows hold whole addresses (see retrieveChapterList).
    std::string baseAddress;
};

struct Retrieval {
    bool found = false;  // a novel name was found; otherwise everything else is empty
    NovelInfo novel;
    std::vector<ChapterRow> rows;  // numbered from 1, checked, waiting
    std::string failure;           // UTF-8, when not found: the transfer's failure or "未找到书名"
    std::string note;              // UTF-8, when found: list pages read, repeats dropped, encoding guessed
};

// Fetches the chapter-list page and applies the patterns. Blocks; safe on any
// thread. Once `*cancel` turns true the transfer ends promptly and the result
// is not found. Never throws: an exception inside counts as not found.
//
// The address is read as typed into an address box (addressFromTyping). Each
// page is decoded by decodePage with the rule's encoding. The rule's
// next-list-page pattern is followed up to kMostPages list pages, never to a
// page already read; a list page that fails fails the retrieval. The list is
// reversed when the rule says the site lists newest first, then repeated
// chapter addresses are dropped (positionsWithoutRepeats) unless the rule
// keeps them.
//
// Rows hold the addresses as captured after the slash-counting prefix
// (RelativeBaseAddress) when prefix and address give, for every row, the
// address a browser opens from the list page's final address; otherwise
// the prefix is empty and each row holds that browser address, so a list
// reached through a redirect or links ending in "/" still lead to the
// chapters.
Retrieval retrieveChapterList(std::string_view listAddress, const ListPatterns& patterns,
                              const std::atomic<bool>* cancel = nullptr);
Retrieval retrieveChapterList(std::string_view listAddress, const ListPatterns& patterns, const RuleOptions& options,
                              const std::atomic<bool>* cancel = nullptr);

// What happened to one row during a download run, as the engine reports it.
struct ChapterEvent {
    enum class Kind {
        attempt,  // an attempt starts: `attempt` from 1; `status` "正在下载" or "重试下载N"
        saved,    // the chapter file was written: `status` "下载完毕", row unchecked, `doneCount` updated
        failed,   // given up ("失败3次") or not written ("保存失败"): row stays checked; `failure` says why
        stopped,  // the run was stopped during the row: status back to "等待下载", row stays checked
    };
    Kind kind = Kind::attempt;
    int row = 0;  // position in the run's row list, from 0
    int attempt = 0;
    std::string status;   // the row's new status text (GBK)
    std::string failure;  // UTF-8: the last attempt's failure, for `failed` and for retries
    int doneCount = 0;    // chapters saved so far in this run, for `saved`
};

// Called on worker threads, one call at a time and in the order the events
// happened; it must return quickly and never wait for a window.
using ChapterObserver = std::function<void(const ChapterEvent&)>;

// What a run needs to know: the novel, its markers and the rows (only the
// checked ones are fetched; the others are left untouched).
struct DownloadRequest {
    NovelInfo novel;
    ContentMarkers markers;
    std::vector<ChapterRow> rows;
    // The rule's optional settings: encoding, chapter pages, texts to remove,
    // block-page texts, most parallel requests and least interval.
    RuleOptions options{};
    // The workers run at a lower priority, so that a window stays responsive
    // while many chapters arrive at once.
    bool yieldToWindow = false;
    // When set and a row is to be fetched, called with the run's rows while
    // the novel folder is locked: once before any chapter is fetched (`ended`
    // false, on the thread calling start) and once after the last chapter
    // (`ended` true, on the last worker). The job record is written there, so
    // it never claims a chapter file that the run might be replacing.
    std::function<void(const std::vector<ChapterRow>& rows, bool ended)> keepRecord{};
};

enum class StartResult {
    started,
    busy,         // a run of this engine is still under way
    folderInUse,  // another program is downloading into the same novel folder
    noWorkers,    // the worker pool could not be started, or memory ran out
};

enum class RunState { idle, running, paused, stopping };

struct DownloadRun;

// Downloads the checked rows of a request over a worker pool: one pool job
// per checked row, up to kHttpAttempts attempts each with no pause between
// them, the chapter file written whole (temporary file, then rename). The
// engine keeps its own copy of the rows and updates it as events happen.
//
// Commands and readers come from one thread (the front end's); only the
// observer runs on the workers. Stop cancels the transfers in flight, drops the queued chapters
// and starts no further attempt; the run then ends within about a second.
// Destroying the engine stops a run and waits for its end.
class DownloadEngine {
public:
    // `failedCount` counts the chapters given up in the current run; it is
    // reset when a run starts. Both must outlive the engine's runs.
    DownloadEngine(WorkerPool& pool, AtomicCounter& failedCount);
    ~DownloadEngine();
    DownloadEngine(const DownloadEngine&) = delete;
    DownloadEngine& operator=(const DownloadEngine&) = delete;

    // Starts a run (the pool is started when it is not running) and returns
    // at once; events go to `observer` until the run ends. When a row is to
    // be fetched, creates the novel folder and holds its NovelFolderLock for
    // the run, so a second download into the same folder, in this program or
    // another copy of it, is refused with folderInUse.
    StartResult start(DownloadRequest request, ChapterObserver observer);

    void pause();
    void resume();
    void stop();

    // Waits until the run has ended (every job done or dropped), or until
    // `timeoutMs` has passed when it is 0 or more; true when it has ended.
    bool wait(int timeoutMs = -1);
    RunState state() const;
    bool stopRequested() const;  // the last run was stopped
    int doneCount() const;       // chapters saved in the last run
    int failedCount() const;     // chapters given up or not written in the last run
    // The last run's rows as they are now.
    std::vector<ChapterRow> rows() const;

private:
    WorkerPool& pool_;
    AtomicCounter& failedCount_;
    std::shared_ptr<DownloadRun> run_;
};

// What the end of a run that was not stopped does.
enum class Completion {
    report,          // automatic merging off: report the run (failures counted, maybe 0)
    reportFailures,  // automatic merging on, but chapters failed: offer the manual merge
    merge,           // automatic merging on and nothing failed: merge now
};
Completion decideCompletion(bool autoMerge, int failed);

// Merges the chapter files of the rows whose status is "下载完毕", in list
// order, into "name(author).txt" beside the chapter folder (written whole and
// synced); `afterRow` runs after each row. True when the merged file was
// written. Only the rows' statuses are read.
bool MergeNovel(const NovelInfo& novel, const std::vector<ChapterRow>& rows,
                const std::function<void()>& afterRow = {});

}  // namespace velmora
