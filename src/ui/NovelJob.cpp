#include "ui/NovelJob.h"

#include "core/AtomicCounter.h"
#include "core/FileBytes.h"
#include "core/SharedLock.h"
#include "core/Text.h"
#include "core/ProgramGlobals.h"
#include "core/WorkerPool.h"
#include "job/ChapterFetch.h"
#include "job/ChapterFiles.h"
#include "job/ChapterList.h"
#include "job/ChapterStatus.h"
#include "job/ChapterText.h"
#include "job/NovelMerge.h"
#include "web/PageDecoding.h"
#include "ui/ChapterRows.h"
#include "ui/Controls.h"
#include "ui/PageBrowser.h"
#include "ui/Prompts.h"
#include "ui/QtText.h"
#include "ui/RuleSettingsWindow.h"
#include "ui/WindowThread.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <filesystem>
#include <mutex>

namespace velmora {
namespace {

// The job whose download the pool's workers serve. A pool job is a plain
// routine and two integers, so the routine finds its job here.
std::atomic<NovelJob*> activeJob{nullptr};

// How often a waiting download looks again (pool idle, pause ended, page loaded).
constexpr int kIdlePollMs = 100;

// Browser mode: attempts per chapter, and the least text (spaces not counted)
// that makes a captured page a chapter rather than a loading screen.
constexpr int kBrowserAttempts = 5;
constexpr std::size_t kBrowserMinimumBytes = 20;

} // namespace

NovelJob::NovelJob(const Controls& controls, const Shared& shared, QObject* parent)
    : QObject(parent),
      c_(controls),
      pool_(shared.pool),
      failedCount_(shared.failedCount),
      progressLock_(shared.progressLock),
      document_(shared.document),
      browser_(shared.browser)
{
    connect(&browser_, &PageBrowser::pageLoaded, this, [this] { progress_.pageLoaded = true; });
}

NovelJob::~NovelJob()
{
    stopAndWait();
    NovelJob* self = this;
    activeJob.compare_exchange_strong(self, nullptr);
}

void NovelJob::setStatus(const QString& text)
{
    c_.status->setText(text);
}

// ---- chapter-list retrieval ------------------------------------------------

void NovelJob::startChapterListFetch()
{
    if (fetching_) {
        return;
    }
    c_.chapters->clear();
    c_.novelName->clear();
    c_.author->clear();
    c_.relativeAddress->clear();
    setStatus(QStringLiteral("正在获取小说章节名，请稍等..."));
    c_.fetchList->setEnabled(false);
    c_.download->setEnabled(false);
    c_.ruleSettings->setEnabled(false);
    c_.pause->setEnabled(false);
    c_.stop->setEnabled(false);
    c_.listTools->setEnabled(false);
    if (fetchThread_.joinable()) {
        fetchThread_.join();  // the previous retrieval has already finished its work
    }
    fetching_ = true;
    fetchThread_ = std::thread([this] { fetchChapterList(); });
}

void NovelJob::fetchChapterList()
{
    struct Request {
        std::string address, namePattern, authorPattern, listPattern;
    };
    const Request request = onWindowThread(this, [this] {
        return Request{toGbk(c_.listAddress->text()), c_.ruleSettings->novelNamePattern(),
                       c_.ruleSettings->authorPattern(), c_.ruleSettings->chapterListPattern()};
    });

    const std::string page = FetchPageText(request.address);
    const ChapterListPage found =
        ParseChapterList(page, request.namePattern, request.authorPattern, request.listPattern);

    const bool success = onWindowThread(this, [&] {
        c_.novelName->setText(toQString(found.novelName));
        if (c_.novelName->text().isEmpty()) {
            return false;
        }
        c_.author->setText(toQString(found.author));
        rows::appendChapters(c_.chapters, found.chapters);
        c_.relativeAddress->setText(
            toQString(RelativeBaseAddress(toGbk(c_.listAddress->text()), found.firstAddress)));
        controls::setNumberValue(c_.lastRow, rows::count(c_.chapters));
        return true;
    });

    const QString status = success ? QStringLiteral("小说章节名获取成功，请点击下载章节内容！")
                                   : QStringLiteral("章节获取失败，请重试！");
    onWindowThread(this, [&] { setStatus(status); });
    if (success) {
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("小说章节名获取完毕\r\n(3秒后自动关闭)"), 3000,
                        StyleInformation);
    } else {
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("章节获取失败\r\n(3秒后自动关闭)"), 3000, StyleError);
    }
    onWindowThread(this, [this] {
        c_.fetchList->setEnabled(true);
        c_.download->setEnabled(true);
        c_.ruleSettings->setEnabled(true);
        c_.listTools->setEnabled(true);
        fetching_ = false;
    });
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
    c_.pause->setEnabled(!enabled);
    c_.stop->setEnabled(!enabled);
}

void NovelJob::downloadChapters()
{
    if (downloading_ || fetching_) {
        return;
    }
    downloading_ = true;
    setJobControlsEnabled(false);
    progress_.doneCount = 0;
    progress_.stopRequested = false;
    const int rowCount = rows::count(c_.chapters);
    failedCount_.exchange(0);
    setStatus(QStringLiteral("正在下载小说章节内容，请等候..."));
    std::error_code ignored;
    std::filesystem::create_directories(NovelFolder(toGbk(c_.novelName->text())), ignored);

    if (c_.pageCapture->isChecked()) {
        downloadChaptersByBrowser(rowCount);
    } else {
        downloadChaptersHttp(rowCount);
    }

    if (!progress_.stopRequested) {
        finishDownload(c_.autoMerge->isChecked());
    }
    setJobControlsEnabled(true);
    downloading_ = false;
}

void NovelJob::downloadChaptersHttp(int rowCount)
{
    activeJob = this;
    pool_.start();
    for (int row = 0; row < rowCount; ++row) {
        if (rows::isChecked(c_.chapters, row)) {
            pool_.submit(&NovelJob::downloadChapterHttp, row, 0);
        }
        QCoreApplication::processEvents();
    }
    while (!pool_.isIdle()) {
        DelayPumping(kIdlePollMs, 0);
    }
}

void NovelJob::downloadChaptersByBrowser(int rowCount)
{
    browser_.beginRun(toGbk(c_.listAddress->text()));
    progress_.pauseRequested = false;
    for (int row = 0; row < rowCount; ++row) {
        while (progress_.pauseRequested) {
            DelayPumping(kIdlePollMs, 0);
        }
        if (progress_.stopRequested) {
            break;
        }
        if (rows::isChecked(c_.chapters, row)) {
            rows::setHighlighted(c_.chapters, row, true);
            rows::scrollTo(c_.chapters, row);
            const std::string title = rows::text(c_.chapters, row, rows::TitleColumn);
            const std::string address =
                toGbk(c_.relativeAddress->text()) + rows::text(c_.chapters, row, rows::AddressColumn);
            const std::string left = c_.ruleSettings->contentLeftMarker();
            const std::string right = c_.ruleSettings->contentRightMarker();
            std::string content;
            bool enough = false;
            for (int attempt = 1; attempt <= kBrowserAttempts && !enough; ++attempt) {
                rows::setText(c_.chapters, row, rows::StatusColumn,
                              attempt == 1 ? ChapterStatus::downloading() : ChapterStatus::retrying(attempt));
                content = captureChapter(address, left, right);
                QCoreApplication::processEvents();
                enough = text::removeSpaces(content).size() >= kBrowserMinimumBytes;
            }
            if (!enough) {
                rows::setText(c_.chapters, row, rows::StatusColumn, ChapterStatus::failed());
                rows::setHighlighted(c_.chapters, row, false);
                failedCount_.increment();
            } else {
                saveChapter(row, CleanChapterText(title + "\r\n" + content));
            }
        }
        QCoreApplication::processEvents();
    }
}

std::string NovelJob::captureChapter(const std::string& address, const std::string& left, const std::string& right)
{
    progress_.pageLoaded = false;
    if (!browser_.navigate(address)) {
        return {};
    }
    if (!progress_.pageLoaded) {
        // Wait for the page, the window's events flowing, for at most the
        // time limit: a page that never finishes loading is a failed attempt.
        QEventLoop waiting;
        const auto loaded = connect(&browser_, &PageBrowser::pageLoaded, &waiting, &QEventLoop::quit);
        QTimer::singleShot(pageLoadTimeLimitMs_, &waiting, &QEventLoop::quit);
        waiting.exec();
        disconnect(loaded);
    }
    if (!progress_.pageLoaded) {
        browser_.stop();
        return {};
    }
    const std::string page = ConvertIfUtf8(browser_.CapturePageText(document_));
    return TextBetween(page, left, right);
}

void NovelJob::downloadChapterHttp(std::int32_t row, std::int32_t)
{
    if (NovelJob* job = activeJob.load()) {
        job->downloadChapter(row);
    }
}

void NovelJob::downloadChapter(int row)
{
    {
        std::lock_guard lock(progressLock_);
        onWindowThread(this, [&] {
            rows::setHighlighted(c_.chapters, row, true);
            rows::scrollTo(c_.chapters, row);
        });
    }
    struct Chapter {
        std::string address, title, left, right;
    };
    const Chapter chapter = onWindowThread(this, [&] {
        return Chapter{toGbk(c_.relativeAddress->text()) + rows::text(c_.chapters, row, rows::AddressColumn),
                       rows::text(c_.chapters, row, rows::TitleColumn), c_.ruleSettings->contentLeftMarker(),
                       c_.ruleSettings->contentRightMarker()};
    });
    const auto text = FetchChapterHttp(chapter.address, chapter.title, chapter.left, chapter.right, [&](int attempt) {
        const std::string status = attempt == 1 ? ChapterStatus::downloading() : ChapterStatus::retrying(attempt);
        onWindowThread(this, [&] { rows::setText(c_.chapters, row, rows::StatusColumn, status); });
    });
    if (!text) {
        onWindowThread(this, [&] { rows::setText(c_.chapters, row, rows::StatusColumn, ChapterStatus::failed()); });
        failedCount_.increment();
        return;
    }
    saveChapter(row, *text);
}

void NovelJob::saveChapter(int row, const std::string& text)
{
    const std::string novelName = onWindowThread(this, [&] {
        rows::setHighlighted(c_.chapters, row, false);
        return toGbk(c_.novelName->text());
    });
    if (!replaceFileContent(ChapterFilePath(novelName, row + 1), text)) {
        // Not saved is not done: the row stays checked for the next run.
        onWindowThread(this, [&] {
            rows::setText(c_.chapters, row, rows::StatusColumn, ChapterStatus::saveFailed());
        });
        failedCount_.increment();
        return;
    }
    onWindowThread(this, [&] {
        rows::setChecked(c_.chapters, row, false);
        rows::setText(c_.chapters, row, rows::StatusColumn, ChapterStatus::done());
    });
    std::lock_guard lock(progressLock_);
    const int done = ++progress_.doneCount;
    onWindowThread(this, [&] {
        setStatus(QString::number(done) + QStringLiteral("个章节内容已下载，请等候章节内容下载完毕..."));
    });
}

void NovelJob::pauseOrContinue()
{
    const bool pausing = c_.pause->text() == QStringLiteral("暂停");
    if (c_.pageCapture->isChecked()) {
        progress_.pauseRequested = pausing;
    } else if (pausing) {
        pool_.pause();
    } else {
        pool_.resume();
    }
    c_.pause->setText(pausing ? QStringLiteral("继续") : QStringLiteral("暂停"));
}

void NovelJob::stop()
{
    if (!c_.pageCapture->isChecked()) {
        pool_.stop(StopMode::DiscardNoWait);
    }
    progress_.stopRequested = true;
    c_.pause->setText(QStringLiteral("暂停"));
}

void NovelJob::stopAndWait()
{
    if (pool_.state() == PoolState::Running) {
        pool_.stop(StopMode::DiscardNoWait);
        progress_.stopRequested = true;
    }
    while (!pool_.isIdle() || fetching_) {
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
    if (!autoMerge) {
        setStatus(failedText);
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("章节内容已下载完毕"), 0, StyleInformation);
    } else if (failed > 0) {
        c_.autoMerge->setChecked(false);
        c_.merge->setEnabled(true);
        setStatus(failedText);
    } else {
        setStatus(QStringLiteral("章节内容已下载完毕，正在合并小说中..."));
        if (mergeNovel()) {
            setStatus(QStringLiteral("整本小说下载完毕"));
            TimedMessageBox(QStringLiteral("提示"), QStringLiteral("整本小说下载完毕"), 0, StyleInformation);
        } else {
            c_.autoMerge->setChecked(false);
            c_.merge->setEnabled(true);
            setStatus(QStringLiteral("合并失败,请手动重新合并!"));
            TimedMessageBox(QStringLiteral("提示"), QStringLiteral("合并失败,请手动重新合并!"), 0, StyleError);
        }
    }
    c_.autoMerge->setEnabled(true);
}

bool NovelJob::mergeNovel()
{
    const std::string novelName = toGbk(c_.novelName->text());
    const int rowCount = rows::count(c_.chapters);
    std::string novel;
    for (int row = 0; row < rowCount; ++row) {
        if (rows::text(c_.chapters, row, rows::StatusColumn) == ChapterStatus::done()) {
            AppendChapterToNovel(novel, novelName, row + 1, rowCount);
        }
        QCoreApplication::processEvents();
    }
    return WriteMergedNovel(novelName, toGbk(c_.author->text()), novel);
}

void NovelJob::mergeButtonClicked()
{
    c_.merge->setEnabled(false);
    if (mergeNovel()) {
        setStatus(QStringLiteral("整本小说下载完毕"));
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("整本小说下载完毕"), 0, StyleInformation);
    } else {
        setStatus(QStringLiteral("合并失败,请手动重新合并!"));
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("合并失败,请手动重新合并"), 0, StyleError);
    }
    c_.merge->setEnabled(true);
}

} // namespace velmora
