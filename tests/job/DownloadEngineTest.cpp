// The download engine without a window: runs against loopback servers on
// 127.0.0.1, real files in a fresh working folder, a real worker pool.
#include "job/NovelEngine.h"

#include "core/AtomicCounter.h"
#include "core/FileBytes.h"
#include "core/WorkerPool.h"
#include "job/ChapterFetch.h"
#include "job/ChapterFiles.h"
#include "job/ChapterStatus.h"
#include "job/NovelFollow.h"
#include "rules/RuleStore.h"
#include "support/Eventually.h"
#include "support/NovelSite.h"

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Every event a run reported, kept per row.
class Recorder {
public:
    ChapterObserver observer()
    {
        return [this](const ChapterEvent& event) {
            std::lock_guard lock(mutex_);
            events_[event.row].push_back(event);
            lastDone_ = event.doneCount;
            ++count_;
        };
    }
    std::vector<ChapterEvent> of(int row)
    {
        std::lock_guard lock(mutex_);
        return events_[row];
    }
    int count()
    {
        std::lock_guard lock(mutex_);
        return count_;
    }
    int lastDone()
    {
        std::lock_guard lock(mutex_);
        return lastDone_;
    }

private:
    std::mutex mutex_;
    std::map<int, std::vector<ChapterEvent>> events_;
    int count_ = 0;
    int lastDone_ = 0;
};

}  // namespace

class DownloadEngineTest : public testing::Test {
protected:
    void SetUp() override
    {
        previous_ = fs::current_path();
        folder_ = fs::temp_directory_path()
                  / ("velmora-engine-" + std::to_string(::getpid()) + "-"
                     + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::current_path(folder_);
        RuleStore rules("rules.xml");
        rules.ensureRulesFile();
        const SiteRule rule = rules.readRule(1);
        patterns_ = {rule.novelNamePattern, rule.authorPattern, rule.chapterListPattern};
        markers_ = {rule.contentLeftMarker, rule.contentRightMarker};
    }

    void TearDown() override
    {
        engine_.reset();
        pool_.stop();
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }

    DownloadEngine& engine()
    {
        if (!engine_) {
            engine_ = std::make_unique<DownloadEngine>(pool_, failed_);
        }
        return *engine_;
    }

    DownloadRequest requestFor(const NovelSite& site)
    {
        const Retrieval found = retrieveChapterList(site.listUrl(), patterns_);
        EXPECT_TRUE(found.found) << found.failure;
        return {found.novel, markers_, found.rows};
    }

    // Runs `request` to its end.
    std::vector<ChapterRow> run(DownloadRequest request, Recorder& recorder)
    {
        EXPECT_EQ(engine().start(std::move(request), recorder.observer()), StartResult::started);
        EXPECT_TRUE(engine().wait(60000));
        return engine().rows();
    }

    std::string fileBytes(const fs::path& file) { return readFileBytes(file).value_or("<missing>"); }

    fs::path previous_;
    fs::path folder_;
    ListPatterns patterns_;
    ContentMarkers markers_;
    WorkerPool pool_;
    AtomicCounter failed_;
    std::unique_ptr<DownloadEngine> engine_;
};

// ---- one run, its rows, events, files and merge ---------------------------

struct RunCase {
    const char* name;
    NovelSiteOptions site;
    std::set<int> unchecked;      // chapters left unchecked before the run
    std::set<int> failing;        // chapters that end "失败3次"
    std::map<int, int> requests;  // chapter -> requests expected (1 when not listed, 0 when unchecked)
    std::string failure;          // UTF-8 reason expected on the failing rows
};

void PrintTo(const RunCase& c, std::ostream* os)
{
    *os << c.name;
}

class DownloadRunTest : public DownloadEngineTest, public testing::WithParamInterface<RunCase> {};

TEST_P(DownloadRunTest, RowsFilesEventsAndMergeFollowTheServer)
{
    const RunCase& c = GetParam();
    NovelSite site(c.site);
    DownloadRequest request = requestFor(site);
    for (int n : c.unchecked) {
        request.rows[static_cast<std::size_t>(n - 1)].checked = false;
    }
    const NovelInfo novel = request.novel;
    Recorder recorder;
    const std::vector<ChapterRow> rows = run(std::move(request), recorder);

    std::string merged;
    for (int n = 1; n <= site.chapterCount(); ++n) {
        const ChapterRow& row = rows[static_cast<std::size_t>(n - 1)];
        const std::vector<ChapterEvent> events = recorder.of(n - 1);
        const int requests = c.unchecked.contains(n) ? 0 : (c.requests.contains(n) ? c.requests.at(n) : 1);
        EXPECT_EQ(site.requestsFor(n), requests) << n;
        if (c.unchecked.contains(n)) {
            EXPECT_EQ(row.status, ChapterStatus::waiting());
            EXPECT_TRUE(events.empty());
            EXPECT_FALSE(fs::exists(chapterFilePath(novel.name, n)));
            continue;
        }
        // One attempt event per request, numbered from 1, then the outcome.
        ASSERT_EQ(events.size(), static_cast<std::size_t>(requests + 1)) << n;
        for (int a = 1; a <= requests; ++a) {
            EXPECT_EQ(events[a - 1].kind, ChapterEvent::Kind::attempt);
            EXPECT_EQ(events[a - 1].attempt, a);
            EXPECT_EQ(events[a - 1].status, a == 1 ? ChapterStatus::downloading() : ChapterStatus::retrying(a));
        }
        if (c.failing.contains(n)) {
            EXPECT_EQ(events.back().kind, ChapterEvent::Kind::failed);
            EXPECT_EQ(row.status, ChapterStatus::failed());
            EXPECT_TRUE(row.checked);
            EXPECT_EQ(row.failure, c.failure);
            EXPECT_FALSE(fs::exists(chapterFilePath(novel.name, n)));
        } else {
            EXPECT_EQ(events.back().kind, ChapterEvent::Kind::saved);
            EXPECT_EQ(row.status, ChapterStatus::done());
            EXPECT_FALSE(row.checked);
            EXPECT_EQ(fileBytes(chapterFilePath(novel.name, n)), site.expectedChapterFile(n));
            merged += site.expectedChapterFile(n);
        }
        if (!c.failing.contains(n) && n < site.chapterCount()) {
            merged += "\r\n\r\n";
        }
    }
    const int failing = static_cast<int>(c.failing.size());
    const int saved = site.chapterCount() - failing - static_cast<int>(c.unchecked.size());
    EXPECT_EQ(engine().doneCount(), saved);
    EXPECT_EQ(recorder.lastDone(), saved);
    EXPECT_EQ(engine().failedCount(), failing);
    EXPECT_EQ(failed_.value(), failing);
    EXPECT_FALSE(engine().stopRequested());

    ASSERT_TRUE(MergeNovel(novel, rows));
    EXPECT_EQ(fileBytes(mergedFilePath(novel.name, novel.author)), merged);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, DownloadRunTest, testing::Values(
    RunCase{"AllSaved", {}, {}, {}, {}, ""},
    RunCase{"UncheckedRowsAreLeftAlone", {}, {2, 5}, {}, {}, ""},
    RunCase{"ThirdAttemptSucceeds", {.failFirst = {{2, 2}}}, {}, {}, {{2, 3}}, ""},
    RunCase{"EmptyPagesFailThreeTimes", {.alwaysFail = {3}}, {}, {3}, {{3, 3}}, "页面为空"},
    RunCase{"PageWithoutMarkerIsNoChapter", {.missingMarker = {4}}, {}, {4}, {{4, 3}},
            std::string(kNoLeftMarker)}
), [](const auto& caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

// ---- retrieval -------------------------------------------------------------

TEST_F(DownloadEngineTest, RetrievalFindsTheNovelOrSaysWhyNot)
{
    NovelSite site;
    const Retrieval found = retrieveChapterList(site.listUrl(), patterns_);
    ASSERT_TRUE(found.found);
    EXPECT_EQ(found.novel.name, site.novelName());
    EXPECT_EQ(found.novel.author, site.author());
    EXPECT_EQ(found.novel.baseAddress, site.server().url("/book/1/"));
    ASSERT_EQ(found.rows.size(), 5u);
    EXPECT_EQ(found.rows[1].number, 2);
    EXPECT_EQ(found.rows[1].title, site.title(2));
    EXPECT_EQ(found.rows[1].address, "2.html");
    EXPECT_EQ(found.rows[1].status, ChapterStatus::waiting());
    EXPECT_TRUE(found.rows[1].checked);

    const std::atomic<bool> cancelled{true};
    struct Case {
        std::string address;
        const std::atomic<bool>* cancel;
        std::string failure;
    };
    for (const Case& c : {Case{site.server().url("/missing/"), nullptr, "HTTP 404"},
                          Case{site.server().url("/1.html"), nullptr, "页面中未找到书名"},
                          Case{site.listUrl(), &cancelled, std::string(kCancelled)}}) {
        const Retrieval missing = retrieveChapterList(c.address, patterns_, c.cancel);
        EXPECT_FALSE(missing.found) << c.address;
        EXPECT_TRUE(missing.rows.empty());
        EXPECT_EQ(missing.novel.name, "");
        EXPECT_EQ(missing.failure, c.failure) << c.address;
    }
}

// ---- several runs ----------------------------------------------------------

TEST_F(DownloadEngineTest, SecondRunFetchesOnlyTheRowsStillChecked)
{
    NovelSiteOptions options;
    options.failFirst = {{4, 3}};  // chapter 4 comes only on the fourth request
    NovelSite site(options);
    Recorder first;
    DownloadRequest request = requestFor(site);
    const NovelInfo novel = request.novel;
    std::vector<ChapterRow> rows = run(std::move(request), first);
    EXPECT_EQ(rows[3].status, ChapterStatus::failed());
    EXPECT_EQ(failed_.value(), 1);

    Recorder second;
    rows = run({novel, markers_, rows}, second);
    EXPECT_EQ(site.requestsFor(1), 1);
    EXPECT_EQ(site.requestsFor(4), 4);
    EXPECT_EQ(rows[3].status, ChapterStatus::done());
    EXPECT_EQ(rows[3].failure, "");
    EXPECT_EQ(second.count(), 2);        // one attempt, one save
    EXPECT_EQ(engine().doneCount(), 1);  // counts cover the run only
    EXPECT_EQ(failed_.value(), 0);
}

TEST_F(DownloadEngineTest, NoCheckedRowMakesNoFolderAndEndsAtOnce)
{
    Recorder recorder;
    const std::vector<ChapterRow> rows = run({{}, markers_, {}}, recorder);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(recorder.count(), 0);
    EXPECT_FALSE(fs::exists(novelFolderPath("")));
}

// Another download into the same folder (another copy of the program holds
// its lock) is refused; the folder is free again once that one ends.
TEST_F(DownloadEngineTest, FolderInUseIsRefused)
{
    NovelSite site;
    const DownloadRequest request = requestFor(site);
    ASSERT_TRUE(createNovelFolder(request.novel.name));
    {
        const NovelFolderLock other = NovelFolderLock::tryLock(novelFolderPath(request.novel.name));
        ASSERT_TRUE(other.owned());
        EXPECT_EQ(engine().start(request, nullptr), StartResult::folderInUse);
        EXPECT_EQ(site.requestsFor(1), 0);
        EXPECT_EQ(engine().state(), RunState::idle);
    }
    Recorder recorder;
    run(request, recorder);
    EXPECT_EQ(engine().doneCount(), 5);
    EXPECT_TRUE(NovelFolderLock::tryLock(novelFolderPath(request.novel.name)).owned());  // let go at the end
}

// The pool grows to its 20 workers while chapters wait, and never beyond.
TEST_F(DownloadEngineTest, ParallelRequestsGrowToTwentyAndNoMore)
{
    std::mutex mutex;
    int inFlight = 0;
    int most = 0;
    NovelSiteOptions options;
    options.chapters = 300;
    NovelSite site(options);
    LoopbackServer counting([&](const RecordedRequest&) {
        {
            std::lock_guard lock(mutex);
            most = std::max(most, ++inFlight);
        }
        std::this_thread::sleep_for(50ms);
        {
            std::lock_guard lock(mutex);
            --inFlight;
        }
        return Reply::text("<div id=\"content\" class=\"content\">x</div>");
    });
    DownloadRequest request = requestFor(site);
    request.novel.baseAddress = counting.url("/");
    Recorder recorder;
    const std::vector<ChapterRow> rows = run(std::move(request), recorder);
    EXPECT_EQ(most, 20);
    EXPECT_EQ(engine().doneCount(), 300);
}

TEST_F(DownloadEngineTest, PauseHoldsTheQueueAndResumeFinishesIt)
{
    NovelSiteOptions options;
    options.chapters = 200;
    options.delay = 20ms;
    NovelSite site(options);
    Recorder recorder;
    ASSERT_EQ(engine().start(requestFor(site), recorder.observer()), StartResult::started);
    ASSERT_TRUE(eventually([&] { return engine().doneCount() >= 10; }, 30s));
    engine().pause();
    EXPECT_EQ(engine().state(), RunState::paused);
    // Each worker may still finish the job it holds; then nothing moves.
    ASSERT_TRUE(eventually(
        [&] {
            const int before = static_cast<int>(site.server().requests().size());
            std::this_thread::sleep_for(300ms);
            return static_cast<int>(site.server().requests().size()) == before;
        },
        30s));
    const int held = engine().doneCount();
    EXPECT_LT(held, 200);
    EXPECT_FALSE(engine().wait(100));
    engine().resume();
    ASSERT_TRUE(engine().wait(60000));
    EXPECT_EQ(engine().doneCount(), 200);
    EXPECT_EQ(engine().state(), RunState::idle);
}

TEST_F(DownloadEngineTest, StopDropsTheQueueAndStartsNoFurtherAttempt)
{
    NovelSiteOptions options;
    options.chapters = 200;
    options.delay = 100ms;
    NovelSite site(options);
    Recorder recorder;
    ASSERT_EQ(engine().start(requestFor(site), recorder.observer()), StartResult::started);
    ASSERT_TRUE(eventually([&] { return engine().doneCount() >= 1; }, 30s));
    engine().stop();
    EXPECT_TRUE(engine().wait(30000));
    EXPECT_TRUE(engine().stopRequested());
    const std::size_t requests = site.server().requests().size();
    const std::vector<ChapterRow> rows = engine().rows();
    int waiting = 0;
    for (const ChapterRow& row : rows) {
        if (row.status == ChapterStatus::waiting()) {
            ++waiting;
            EXPECT_TRUE(row.checked);
        } else {
            EXPECT_EQ(row.status, ChapterStatus::done());
        }
    }
    EXPECT_GT(waiting, 100);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(site.server().requests().size(), requests);
    // The engine takes the next run at once.
    EXPECT_EQ(engine().start({{}, markers_, {}}, nullptr), StartResult::started);
    EXPECT_TRUE(engine().wait(30000));
}

// A server that takes requests and never answers: stop must not wait for it.
TEST_F(DownloadEngineTest, StopCutsTransfersInFlightShort)
{
    NovelSite site;
    LoopbackServer silent([](const RecordedRequest&) {
        Reply reply;
        reply.neverAnswer = true;
        return reply;
    });
    DownloadRequest request = requestFor(site);
    request.novel.baseAddress = silent.url("/");
    Recorder recorder;
    ASSERT_EQ(engine().start(std::move(request), recorder.observer()), StartResult::started);
    ASSERT_TRUE(eventually([&] { return silent.requests().size() == 5; }, 30s));
    engine().stop();
    EXPECT_TRUE(engine().wait(10000));  // the transfers would hold on for a minute
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(silent.requests().size(), 5u);  // no second attempt after the stop
    for (const ChapterRow& row : engine().rows()) {
        EXPECT_EQ(row.status, ChapterStatus::waiting());
        EXPECT_TRUE(row.checked);
    }
    EXPECT_EQ(failed_.value(), 0);

    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        eventually([&] { return silent.requests().size() == 6; }, 30s);
        cancel = true;
    });
    const Retrieval found = retrieveChapterList(silent.url("/list"), patterns_, &cancel);
    canceller.join();
    EXPECT_FALSE(found.found);
    EXPECT_EQ(found.failure, kCancelled);
}

// An exception in a job (memory running out, an observer that throws) fails
// that chapter and nothing else.
TEST_F(DownloadEngineTest, ExceptionInAJobFailsOnlyThatChapter)
{
    NovelSite site;
    std::atomic<int> thrown{0};
    ASSERT_EQ(engine().start(requestFor(site),
                             [&](const ChapterEvent& event) {
                                 if (event.row == 1 && event.kind == ChapterEvent::Kind::attempt) {
                                     ++thrown;
                                     throw std::bad_alloc();
                                 }
                             }),
              StartResult::started);
    ASSERT_TRUE(engine().wait(60000));
    const std::vector<ChapterRow> rows = engine().rows();
    EXPECT_EQ(thrown.load(), 1);
    EXPECT_EQ(rows[1].status, ChapterStatus::failed());
    EXPECT_TRUE(rows[1].checked);
    EXPECT_FALSE(rows[1].failure.empty());
    EXPECT_EQ(engine().doneCount(), 4);
    EXPECT_EQ(failed_.value(), 1);
}

TEST(CompletionTest, AutomaticMergeOnlyWithoutFailures)
{
    EXPECT_EQ(decideCompletion(false, 0), Completion::report);
    EXPECT_EQ(decideCompletion(false, 2), Completion::report);
    EXPECT_EQ(decideCompletion(true, 2), Completion::reportFailures);
    EXPECT_EQ(decideCompletion(true, 0), Completion::merge);
}

// The job record kept through the engine's hook: before the first chapter
// the rows about to be fetched are written as not saved (their files may be
// replaced), and after a stopped run exactly the rows whose files hold their
// chapters are saved.
TEST_F(DownloadEngineTest, JobRecordAroundARunClaimsOnlyWholeChapters)
{
    NovelSite site({.chapters = 60, .delay = 50ms});
    DownloadRequest first = requestFor(site);
    const JobIdentity job{site.listUrl(), "rule", first.novel};
    const auto keep = [job](const std::vector<ChapterRow>& rows, bool ended) {
        updateJobRecord(job, rows, ended ? RecordMoment::runEnded : RecordMoment::runStarting);
    };
    first.keepRecord = keep;
    Recorder recorder;
    std::vector<ChapterRow> rows = run(std::move(first), recorder);
    const fs::path folder = novelFolderPath(job.novel.name);
    JobRecordResult read = readJobRecord(folder, job.listAddress, job.novel.name);
    ASSERT_TRUE(read.ok()) << read.message;
    EXPECT_EQ(std::count_if(read.record.rows.begin(), read.record.rows.end(), [](auto& r) { return r.saved; }), 60);

    // Rows 21 on again, as after a fresh retrieval; stopped once one is saved.
    for (std::size_t i = 20; i < rows.size(); ++i) {
        rows[i].checked = true;
        rows[i].status = ChapterStatus::waiting();
    }
    std::vector<bool> savedAtStart;
    DownloadRequest second{job.novel, markers_, rows};
    second.keepRecord = [&](const std::vector<ChapterRow>& runRows, bool ended) {
        keep(runRows, ended);
        if (!ended) {
            for (const JobRecordRow& row : readJobRecord(folder).record.rows) {
                savedAtStart.push_back(row.saved);
            }
        }
    };
    Recorder again;
    ASSERT_EQ(engine().start(std::move(second), again.observer()), StartResult::started);
    ASSERT_TRUE(eventually([&] { return engine().doneCount() >= 1; }, 30s));
    engine().stop();
    ASSERT_TRUE(engine().wait(30000));
    ASSERT_EQ(savedAtStart.size(), 60u);
    for (std::size_t i = 0; i < 60; ++i) {
        EXPECT_EQ(savedAtStart[i], i < 20) << i;
    }
    rows = engine().rows();
    read = readJobRecord(folder, job.listAddress, job.novel.name);
    ASSERT_TRUE(read.ok()) << read.message;
    int saved = 0;
    for (std::size_t i = 0; i < 60; ++i) {
        EXPECT_EQ(read.record.rows[i].saved, rows[i].status == ChapterStatus::done()) << i;
        saved += read.record.rows[i].saved ? 1 : 0;
    }
    EXPECT_GT(saved, 20);
    EXPECT_LT(saved, 60);
}
