#include "ui/NovelJob.h"

#include "core/AtomicCounter.h"
#include "core/FileBytes.h"
#include "core/ProgramGlobals.h"
#include "core/Text.h"
#include "job/ChapterFetch.h"
#include "job/ChapterFiles.h"
#include "job/ChapterStatus.h"
#include "job/ChapterText.h"
#include "ui/ChapterRows.h"
#include "ui/Controls.h"
#include "ui/PageBrowser.h"
#include "ui/Prompts.h"
#include "ui/QtText.h"
#include "ui/RuleSettingsWindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>

namespace velmora {
namespace {

// How often a waiting browser pass or a closing window looks again.
constexpr int kIdlePollMs = 100;

// How often the window applies the workers' queued events: once a frame,
// spending at most half of it on them, in slices of a few rows.
constexpr int kFrameMs = 16;
constexpr int kFrameBudgetMs = 8;
constexpr std::size_t kEventSlice = 16;

// Browser mode: attempts per chapter, and the least text (spaces not counted)
// that makes a captured page a chapter rather than a loading screen.
constexpr int kBrowserAttempts = 5;
constexpr std::size_t kBrowserMinimumBytes = 20;

QString progressText(int done)
{
    return QString::number(done) + QStringLiteral("个章节内容已下载，请等候章节内容下载完毕...");
}

ChapterEvent rowEvent(ChapterEvent::Kind kind, int row, std::string status, std::string failure = {})
{
    ChapterEvent event;
    event.kind = kind;
    event.row = row;
    event.status = std::move(status);
    event.failure = std::move(failure);
    return event;
}

}  // namespace

NovelJob::NovelJob(const Controls& controls, const Shared& shared, QObject* parent)
    : QObject(parent), c_(controls), failedCount_(shared.failedCount), document_(shared.document),
      browser_(shared.browser), engine_(shared.pool, shared.failedCount)
{
    connect(&browser_, &PageBrowser::pageLoaded, this, [this] { progress_.pageLoaded = true; });
}

NovelJob::~NovelJob()
{
    stopAndWait();
}

void NovelJob::setStatus(const QString& text)
{
    c_.status->setText(text);
}

// ---- chapter-list retrieval ------------------------------------------------

void NovelJob::startChapterListFetch()
{
    if (fetching_ || downloading_) {
        return;
    }
    c_.chapters->clear();
    c_.novelName->clear();
    c_.author->clear();
    c_.relativeAddress->clear();
    setStatus(QStringLiteral("正在获取小说章节名，请稍等..."));
    c_.status->setToolTip(QString());
    c_.fetchList->setEnabled(false);
    c_.download->setEnabled(false);
    c_.ruleSettings->setEnabled(false);
    listAddress_.clear();
    ruleName_.clear();
    c_.pause->setEnabled(false);
    c_.stop->setEnabled(false);
    c_.listTools->setEnabled(false);
    if (fetchThread_.joinable()) {
        fetchThread_.join();  // the previous retrieval has already finished its work
    }
    fetching_ = true;
    fetchCancel_ = false;
    const std::string address = toGbk(c_.listAddress->text());
    listAddress_ = address;
    const QListWidgetItem* rule = c_.ruleSettings->ruleList()->item(c_.ruleSettings->selectedIndex());
    ruleName_ = rule != nullptr ? toGbk(rule->text()) : std::string();
    const ListPatterns patterns{c_.ruleSettings->novelNamePattern(), c_.ruleSettings->authorPattern(),
                                c_.ruleSettings->chapterListPattern()};
    // The thread only fetches and parses; what it found reaches the window
    // as one queued call, so it never waits for the window.
    const RuleOptions options = c_.ruleSettings->ruleOptions();
    fetchThread_ = std::thread([this, address, patterns, options] {
        try {
            auto found = std::make_shared<Retrieval>(retrieveChapterList(address, patterns, options, &fetchCancel_));
            QMetaObject::invokeMethod(
                this, [this, found] { finishChapterListFetch(*found); }, Qt::QueuedConnection);
        } catch (...) {
            // Out of memory: report a failed retrieval, however little is left.
            try {
                QMetaObject::invokeMethod(
                    this, [this] { finishChapterListFetch(Retrieval{}); }, Qt::QueuedConnection);
            } catch (...) {
            }
        }
    });
}

void NovelJob::finishChapterListFetch(const Retrieval& found)
{
    fetching_ = false;
    if (closing_) {
        return;
    }
    c_.novelName->setText(toQString(found.novel.name));
    const bool success = found.found && !c_.novelName->text().isEmpty();
    if (success) {
        c_.author->setText(toQString(found.novel.author));
        std::vector<ChapterLink> links;
        links.reserve(found.rows.size());
        for (const ChapterRow& row : found.rows) {
            links.push_back({row.address, row.title});
        }
        rows::appendChapters(c_.chapters, links);
        c_.relativeAddress->setText(toQString(found.novel.baseAddress));
        controls::setNumberValue(c_.lastRow, rows::count(c_.chapters));
        setStatus(QStringLiteral("小说章节名获取成功，请点击下载章节内容！"));
        c_.status->setToolTip(QString::fromStdString(found.note));
        keepSavedRows(found);
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("小说章节名获取完毕\r\n(3秒后自动关闭)"), 3000,
                        styleInformation);
    } else {
        setStatus(QStringLiteral("章节获取失败，请重试！"));
        c_.status->setToolTip(QString::fromStdString(found.failure));
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("章节获取失败\r\n(3秒后自动关闭)"), 3000, styleError);
    }
    c_.fetchList->setEnabled(true);
    c_.download->setEnabled(true);
    c_.ruleSettings->setEnabled(true);
    c_.listTools->setEnabled(true);
}

void NovelJob::keepSavedRows(const Retrieval& found)
{
    const JobIdentity job = currentJob();
    std::vector<ChapterRow> shown = found.rows;
    if (c_.newChaptersOnly->isChecked()) {
        const ResumeCheck check = checkJobRecord(listAddress_, job.novel, shown);
        keepDoneRows(shown, check);
        for (std::size_t i = 0; i < check.plan.size(); ++i) {
            if (check.plan[i] == RowPlan::done) {
                rows::setChecked(c_.chapters, static_cast<int>(i), false);
                rows::setText(c_.chapters, static_cast<int>(i), rows::statusColumn, ChapterStatus::done());
            }
        }
        const int left = static_cast<int>(shown.size()) - check.doneCount;
        if (check.ignored()) {
            setStatus(QString::fromStdString(check.message) + QStringLiteral("，将下载全部章节"));
            c_.status->setToolTip(QString::fromStdString(check.message));  // whole, should the line cut it
        } else if (check.status == JobRecordStatus::ok) {
            setStatus(QStringLiteral("已下载过") + QString::number(check.doneCount) + QStringLiteral("章，")
                      + QString::number(left) + QStringLiteral("章待下载，请点击下载章节内容！"));
        }
    }
    updateJobRecord(job, shown, RecordMoment::listFetched);
}

JobIdentity NovelJob::currentJob() const
{
    return {listAddress_,
            ruleName_,
            {toGbk(c_.novelName->text()), toGbk(c_.author->text()), toGbk(c_.relativeAddress->text())}};
}

// ---- download --------------------------------------------------------------

void NovelJob::setJobControlsEnabled(bool enabled)
{
    c_.download->setEnabled(enabled);
    c_.ruleSettings->setEnabled(enabled);
    c_.pageCapture->setEnabled(enabled);
    // A retrieval would rebuild the rows, and the row tools move or delete
    // them, under a running download whose workers address rows by position.
    c_.fetchList->setEnabled(enabled);
    c_.listTools->setEnabled(enabled);
    // A merge would read chapter files and statuses that are still changing.
    c_.merge->setEnabled(enabled && !c_.autoMerge->isChecked());
    c_.pause->setEnabled(!enabled);
    c_.stop->setEnabled(!enabled);
}

DownloadRequest NovelJob::currentRequest() const
{
    DownloadRequest request;
    request.novel = {toGbk(c_.novelName->text()), toGbk(c_.author->text()), toGbk(c_.relativeAddress->text())};
    request.markers = {c_.ruleSettings->contentLeftMarker(), c_.ruleSettings->contentRightMarker()};
    request.options = c_.ruleSettings->ruleOptions();
    request.yieldToWindow = true;
    const int rowCount = rows::count(c_.chapters);
    request.rows.reserve(static_cast<std::size_t>(rowCount));
    for (int row = 0; row < rowCount; ++row) {
        request.rows.push_back({text::leadingInt(rows::text(c_.chapters, row, rows::numberColumn)),
                                rows::text(c_.chapters, row, rows::titleColumn),
                                rows::text(c_.chapters, row, rows::addressColumn),
                                rows::text(c_.chapters, row, rows::statusColumn),
                                rows::isChecked(c_.chapters, row),
                                {}});
    }
    return request;
}

void NovelJob::downloadChapters()
{
    if (downloading_ || fetching_ || closing_) {
        return;
    }
    downloading_ = true;
    setJobControlsEnabled(false);
    progress_.stopRequested = false;
    failedCount_.exchange(0);
    setStatus(QStringLiteral("正在下载小说章节内容，请等候..."));
    c_.status->setToolTip(QString());

    const bool ran = c_.pageCapture->isChecked() ? downloadChaptersByBrowser(currentRequest())
                                                 : downloadChaptersHttp(currentRequest());

    if (ran && !progress_.stopRequested && !closing_) {
        finishDownload(c_.autoMerge->isChecked());
    }
    setJobControlsEnabled(true);
    downloading_ = false;
}

bool NovelJob::downloadChaptersHttp(DownloadRequest request)
{
    // The record is written by the engine, around the run, under the folder's lock.
    request.keepRecord = [job = currentJob()](const std::vector<ChapterRow>& rows, bool ended) {
        updateJobRecord(job, rows, ended ? RecordMoment::runEnded : RecordMoment::runStarting);
    };
    const StartResult started =
        engine_.start(std::move(request), [this](const ChapterEvent& event) { queueEvent(event); });
    if (started == StartResult::folderInUse) {
        refuseBusyFolder();
        return false;
    }
    if (started != StartResult::started) {
        setStatus(QStringLiteral("无法启动下载线程，请重试！"));
        return false;
    }
    // Wait for the end with the window's events flowing; the rows change
    // once a frame, in one batch of whatever the workers reported meanwhile.
    QEventLoop waiting;
    QTimer frame;
    connect(&frame, &QTimer::timeout, &waiting, [&] {
        // Ended once the engine has, and every event it sent is on screen.
        const bool ended = engine_.wait(0);
        if (applyQueuedEvents(false) && ended) {
            waiting.quit();
        }
    });
    frame.start(kFrameMs);
    if (!engine_.wait(0)) {
        waiting.exec();
    }
    frame.stop();
    if (!engine_.wait(0)) {
        // The loop was told to end (the program is ending): end the run too.
        engine_.stop();
        engine_.wait();
    }
    applyQueuedEvents(true);
    return true;
}

void NovelJob::refuseBusyFolder()
{
    setStatus(QStringLiteral("这本小说正在别处下载，请等那边下载完毕再试！"));
    TimedMessageBox(QStringLiteral("提示"),
                    QStringLiteral("另一个程序正在把这本小说下载到同一个文件夹，\r\n请等那边下载完毕再试！"), 0,
                    styleError);
}

void NovelJob::queueEvent(const ChapterEvent& event)
{
    std::lock_guard lock(queueMutex_);
    queue_.push_back(event);
}

bool NovelJob::applyQueuedEvents(bool all)
{
    // Between frames the window takes the queue only when no worker holds
    // it: a worker the scheduler has put aside must not stall the window.
    // What stays queued is taken at a later frame, and the last call takes
    // everything.
    std::unique_lock lock(queueMutex_, std::defer_lock);
    if (all) {
        lock.lock();
    }
    if (lock.owns_lock() || lock.try_lock()) {
        if (takenApplied_ == taken_.size()) {
            taken_.clear();
            takenApplied_ = 0;
            taken_.swap(queue_);
        } else {
            taken_.insert(taken_.end(), queue_.begin(), queue_.end());
            queue_.clear();
        }
        lock.unlock();
    }
    QElapsedTimer spent;
    spent.start();
    while (takenApplied_ < taken_.size() && (all || spent.elapsed() < kFrameBudgetMs)) {
        const std::size_t count = std::min(kEventSlice, taken_.size() - takenApplied_);
        applyEvents({taken_.data() + takenApplied_, count});
        takenApplied_ += count;
    }
    return takenApplied_ == taken_.size();
}

void NovelJob::applyEvents(std::span<const ChapterEvent> events)
{
    // What the events make of each row, so that a row that started and
    // ended within one batch costs the view one change, not four.
    struct RowChange {
        int row;
        const std::string* status = nullptr;
        const std::string* failure = nullptr;  // set: the tooltip becomes this (empty clears it)
        int highlight = -1;                    // -1 unchanged, 0 off, 1 on
        bool uncheck = false;
    };
    std::vector<RowChange> changes;
    std::unordered_map<int, std::size_t> changeOf;
    static const std::string noFailure;
    int scrollRow = -1;
    int done = -1;
    for (const ChapterEvent& event : events) {
        const auto [at, added] = changeOf.try_emplace(event.row, changes.size());
        if (added) {
            changes.push_back({event.row});
        }
        RowChange& change = changes[at->second];
        change.status = &event.status;
        switch (event.kind) {
        case ChapterEvent::Kind::attempt:
            if (event.attempt == 1) {
                change.highlight = 1;
                scrollRow = event.row;
            }
            if (!event.failure.empty()) {
                change.failure = &event.failure;
            }
            break;
        case ChapterEvent::Kind::saved:
            change.highlight = 0;
            change.uncheck = true;
            change.failure = &noFailure;
            done = event.doneCount;
            break;
        case ChapterEvent::Kind::failed:
            // The status line names the last failure; its row tells its own.
            c_.status->setToolTip(QStringLiteral("第%1行《%2》：%3")
                                      .arg(event.row + 1)
                                      .arg(toQString(rows::text(c_.chapters, event.row, rows::titleColumn)))
                                      .arg(QString::fromStdString(event.failure)));
            change.failure = &event.failure;
            break;
        case ChapterEvent::Kind::stopped:
            change.highlight = 0;
            break;
        }
    }
    std::vector<int> highlight[2];
    for (const RowChange& change : changes) {
        rows::setText(c_.chapters, change.row, rows::statusColumn, *change.status);
        if (change.failure != nullptr) {
            rows::setFailure(c_.chapters, change.row, *change.failure);
        }
        if (change.uncheck) {
            rows::setChecked(c_.chapters, change.row, false);
        }
        if (change.highlight >= 0) {
            highlight[change.highlight].push_back(change.row);
        }
    }
    for (const bool on : {false, true}) {
        std::vector<int>& positions = highlight[on ? 1 : 0];
        if (!positions.empty()) {
            std::sort(positions.begin(), positions.end());
            rows::highlightRows(c_.chapters, positions, on);
        }
    }
    if (scrollRow >= 0) {
        rows::scrollTo(c_.chapters, scrollRow);
    }
    if (done >= 0) {
        setStatus(progressText(done));
    }
}

bool NovelJob::downloadChaptersByBrowser(const DownloadRequest& request)
{
    browser_.beginRun(toGbk(c_.listAddress->text()), request.options.pageEncoding);
    progress_.pauseRequested = false;
    const int rowCount = static_cast<int>(request.rows.size());
    // Held for the run, as the engine holds it for an HTTP run.
    std::optional<NovelFolderLock> folderLock;
    const bool anyChecked =
        std::any_of(request.rows.begin(), request.rows.end(), [](const ChapterRow& row) { return row.checked; });
    if (anyChecked && createNovelFolder(request.novel.name)) {
        folderLock = NovelFolderLock::tryLock(novelFolderPath(request.novel.name));
        if (folderLock->status() == NovelFolderLock::Status::busy) {
            refuseBusyFolder();
            return false;
        }
        updateJobRecord(currentJob(), request.rows, RecordMoment::runStarting);
    }
    int done = 0;
    const auto stopping = [this] { return progress_.stopRequested || closing_; };
    for (int row = 0; row < rowCount; ++row) {
        // A stop keeps a pause (the caption says how to end it); closing ends both.
        while (progress_.pauseRequested && !closing_) {
            DelayPumping(kIdlePollMs, 0);
        }
        if (stopping()) {
            break;
        }
        if (!rows::isChecked(c_.chapters, row)) {
            QCoreApplication::processEvents();
            continue;
        }
        const ChapterRow& chapter = request.rows[static_cast<std::size_t>(row)];
        rows::setHighlighted(c_.chapters, row, true);
        rows::scrollTo(c_.chapters, row);
        const std::string address = request.novel.baseAddress + chapter.address;
        std::string content;
        bool enough = false;
        captureFailure_.clear();
        for (int attempt = 1; attempt <= kBrowserAttempts && !enough && !stopping(); ++attempt) {
            ChapterEvent event = rowEvent(
                ChapterEvent::Kind::attempt, row,
                attempt == 1 ? ChapterStatus::downloading() : ChapterStatus::retrying(attempt), captureFailure_);
            event.attempt = attempt;
            applyEvent(event);
            content = captureChapter(address, request.markers.left, request.markers.right);
            QCoreApplication::processEvents();
            enough = text::removeSpaces(content).size() >= kBrowserMinimumBytes;
            if (!enough && captureFailure_.empty()) {
                // The capture came through: the "?" its conversion put in may be why the text is short.
                captureFailure_ = withNote("抓到的文字不足20字节", unrepresentableNote(browser_.unrepresentable()));
            }
        }
        if (!enough && stopping()) {
            applyEvent(rowEvent(ChapterEvent::Kind::stopped, row, ChapterStatus::waiting()));
            break;
        }
        if (!enough) {
            failedCount_.increment();
            // "失败3次" although the browser tries kBrowserAttempts times: the
            // status column has one text for a chapter given up, in either mode.
            applyEvent(rowEvent(ChapterEvent::Kind::failed, row, ChapterStatus::failed(), captureFailure_));
            rows::setHighlighted(c_.chapters, row, false);
        } else if (!saveChapterFile(request.novel.name, row + 1,
                                    chapterTextFromCuts(chapter.title, content, request.options.removeTexts))) {
            // Not saved is not done: the row stays checked for the next run.
            failedCount_.increment();
            applyEvent(rowEvent(ChapterEvent::Kind::failed, row, ChapterStatus::saveFailed(), "章节文件无法写入"));
            rows::setHighlighted(c_.chapters, row, false);
        } else {
            ChapterEvent saved = rowEvent(ChapterEvent::Kind::saved, row, ChapterStatus::done());
            saved.doneCount = ++done;
            applyEvent(saved);
        }
        QCoreApplication::processEvents();
    }
    if (folderLock) {
        updateJobRecord(currentJob(), currentRequest().rows, RecordMoment::runEnded);
    }
    return true;
}

std::string NovelJob::captureChapter(const std::string& address, const std::string& left, const std::string& right)
{
    progress_.pageLoaded = false;
    if (!browser_.navigate(address)) {
        captureFailure_ = "浏览器无法启动";
        return {};
    }
    if (!progress_.pageLoaded) {
        // Wait for the page, the window's events flowing, for at most the
        // time limit: a page that never finishes loading is a failed attempt.
        // Stop and close end the wait at once.
        QEventLoop waiting;
        const auto loaded = connect(&browser_, &PageBrowser::pageLoaded, &waiting, &QEventLoop::quit);
        QTimer::singleShot(pageLoadTimeLimitMs_, &waiting, &QEventLoop::quit);
        pageWait_ = &waiting;
        if (!progress_.stopRequested && !closing_) {
            waiting.exec();
        }
        pageWait_ = nullptr;
        disconnect(loaded);
    }
    if (!progress_.pageLoaded) {
        browser_.stop();
        captureFailure_ = "页面未在时限内加载完";
        return {};
    }
    // The browser decoded the page by its own reading of it; the capture is
    // GBK already, and converting it again "from UTF-8" would garble it.
    const std::string page = browser_.CapturePageText(document_);
    return TextBetween(page, left, right);
}

void NovelJob::pauseOrContinue()
{
    const bool pausing = c_.pause->text() == QStringLiteral("暂停");
    if (c_.pageCapture->isChecked()) {
        progress_.pauseRequested = pausing;
    } else if (pausing) {
        engine_.pause();
    } else {
        engine_.resume();
    }
    c_.pause->setText(pausing ? QStringLiteral("继续") : QStringLiteral("暂停"));
}

void NovelJob::stop()
{
    if (!c_.pageCapture->isChecked()) {
        engine_.stop();
    } else if (pageWait_ != nullptr) {
        pageWait_->quit();  // the page under way is not waited for
    }
    progress_.stopRequested = true;
    c_.pause->setText(QStringLiteral("暂停"));
}

void NovelJob::stopAndWait()
{
    closing_ = true;
    fetchCancel_ = true;
    progress_.stopRequested = true;
    engine_.stop();
    if (pageWait_ != nullptr) {
        pageWait_->quit();
    }
    while (!engine_.wait(0) || fetching_) {
        DelayPumping(kIdlePollMs, 0);
    }
    if (fetchThread_.joinable()) {
        fetchThread_.join();
    }
}

// ---- completion and merge --------------------------------------------------

void NovelJob::finishDownload(bool autoMerge)
{
    c_.autoMerge->setEnabled(false);
    const int failed = failedCount_.value();
    const QString failedText = QStringLiteral("有") + QString::number(failed)
                               + QStringLiteral("个章节的内容下载失败，请点击继续下载，或直接手动合并小说");
    switch (decideCompletion(autoMerge, failed)) {
    case Completion::report:
        setStatus(failedText);
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("章节内容已下载完毕"), 0, styleInformation);
        break;
    case Completion::reportFailures:
        c_.autoMerge->setChecked(false);
        c_.merge->setEnabled(true);
        setStatus(failedText);
        break;
    case Completion::merge:
        setStatus(QStringLiteral("章节内容已下载完毕，正在合并小说中..."));
        if (mergeNovel()) {
            reportMerged();
        } else {
            c_.autoMerge->setChecked(false);
            c_.merge->setEnabled(true);
            setStatus(QStringLiteral("合并失败,请手动重新合并!"));
            TimedMessageBox(QStringLiteral("提示"), QStringLiteral("合并失败,请手动重新合并!"), 0, styleError);
        }
        break;
    }
    c_.autoMerge->setEnabled(true);
}

bool NovelJob::mergeNovel()
{
    const DownloadRequest shown = currentRequest();
    return MergeNovel(shown.novel, shown.rows, [] { QCoreApplication::processEvents(); });
}

void NovelJob::reportMerged()
{
    if (!c_.alsoEpub->isChecked() || writeNovelEpub(currentJob(), currentRequest().rows)) {
        setStatus(QStringLiteral("整本小说下载完毕"));
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("整本小说下载完毕"), 0, styleInformation);
        return;
    }
    setStatus(QStringLiteral("整本小说下载完毕，但EPUB文件无法写入！"));
    TimedMessageBox(QStringLiteral("提示"), QStringLiteral("整本小说已合并，但EPUB文件无法写入！"), 0, styleError);
}

void NovelJob::mergeButtonClicked()
{
    if (downloading_) {
        return;  // the chapter files and statuses are still changing
    }
    c_.merge->setEnabled(false);
    if (mergeNovel()) {
        reportMerged();
    } else {
        setStatus(QStringLiteral("合并失败,请手动重新合并!"));
        // Without the status line's "!": the merge button's box has always
        // said it this way, unlike the automatic merge's box.
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("合并失败,请手动重新合并"), 0, styleError);
    }
    c_.merge->setEnabled(true);
}

}  // namespace velmora
