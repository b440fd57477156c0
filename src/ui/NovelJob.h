#pragma once

#include "job/JobProgress.h"
#include "job/NovelEngine.h"
#include "job/NovelFollow.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

class QCheckBox;
class QEventLoop;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QWidget;

namespace velmora {

class AtomicCounter;
class PageBrowser;
class RuleSettingsWindow;
struct CapturedDocument;
class WorkerPool;

// One novel's job as the main window runs it: binds the window-free engine
// (retrieval, HTTP download, pause, continue, stop, merge) to the window's
// controls, and runs browser mode, which needs the web view, on the window
// thread. The rows live in the list view; a run takes them as plain data.
// Workers never wait for the window: their events are queued and the window
// thread applies them in batches, at most once a frame.
class NovelJob : public QObject {
    Q_OBJECT

public:
    // The controls the job reads and writes.
    struct Controls {
        QLineEdit* listAddress;
        QLabel* status;
        QTreeWidget* chapters;
        QLabel* novelName;
        QLabel* author;
        QLineEdit* relativeAddress;
        QLineEdit* lastRow;
        QPushButton* fetchList;
        QPushButton* download;
        QPushButton* pause;
        QPushButton* stop;
        QCheckBox* autoMerge;
        QCheckBox* pageCapture;
        QPushButton* merge;
        RuleSettingsWindow* ruleSettings;
        QWidget* listTools;          // the row tools, which would move rows under a running job
        QCheckBox* newChaptersOnly;  // a retrieval keeps the rows the job record has saved
        QCheckBox* alsoEpub;         // a merge writes the EPUB book too
    };

    // What the job shares with the rest of the program.
    struct Shared {
        WorkerPool& pool;
        AtomicCounter& failedCount;
        CapturedDocument& document;
        PageBrowser& browser;
    };

    NovelJob(const Controls& controls, const Shared& shared, QObject* parent = nullptr);
    ~NovelJob() override;

    // Click handlers.
    void startChapterListFetch();
    void downloadChapters();
    void pauseOrContinue();
    void stop();
    void mergeButtonClicked();

    // Whether a download run is under way.
    bool downloading() const { return downloading_; }

    // How long a page may take to load in browser mode before the attempt
    // counts as failed.
    void setPageLoadTimeLimit(int ms) { pageLoadTimeLimitMs_ = ms; }

    // For closing: stops a running download or retrieval in any mode and
    // state (a paused browser pass included) and waits, keeping the window's
    // events flowing, until no worker and no retrieval is left. Transfers in
    // flight are cut short, so this takes about a second at most.
    void stopAndWait();

private:
    void finishChapterListFetch(const Retrieval& found);
    // With "只下载新章节", shows the rows the job record has saved as done and
    // unchecked; then brings the record up to the fresh list.
    void keepSavedRows(const Retrieval& found);
    DownloadRequest currentRequest() const;
    // Both false when the run was refused.
    bool downloadChaptersHttp(DownloadRequest request);
    bool downloadChaptersByBrowser(const DownloadRequest& request);
    void refuseBusyFolder();
    std::string captureChapter(const std::string& address, const std::string& left, const std::string& right);
    void queueEvent(const ChapterEvent& event);
    // Applies the queued events, all of them or as many as one frame's share
    // of time allows (the rest wait for the next frame); true when none is
    // left over.
    bool applyQueuedEvents(bool all);
    void applyEvents(std::span<const ChapterEvent> events);
    void applyEvent(const ChapterEvent& event) { applyEvents({&event, 1}); }
    void finishDownload(bool autoMerge);
    bool mergeNovel();
    // After a merge: the EPUB book when asked for; false when it could not be written.
    bool writeEpubIfAsked();
    void reportMerged();
    // The job of the rows shown: the address and rule of their retrieval.
    JobIdentity currentJob() const;
    void setStatus(const QString& text);
    void setJobControlsEnabled(bool enabled);

    Controls c_;
    AtomicCounter& failedCount_;
    CapturedDocument& document_;
    PageBrowser& browser_;
    int pageLoadTimeLimitMs_ = 30000;
    JobProgress progress_;
    std::thread fetchThread_;
    std::atomic<bool> fetchCancel_{false};
    bool fetching_ = false;
    bool downloading_ = false;
    bool closing_ = false;
    QEventLoop* pageWait_ = nullptr;  // the wait for a page in browser mode, while one runs
    std::string captureFailure_;      // UTF-8: why the last browser capture gave nothing
    std::string listAddress_;         // GBK: the address the rows shown were retrieved from
    std::string ruleName_;            // GBK: the rule they were retrieved with

    std::mutex queueMutex_;
    std::vector<ChapterEvent> queue_;  // events from the workers, not yet taken by the window
    std::vector<ChapterEvent> taken_;  // window thread: taken, applied up to takenApplied_
    std::size_t takenApplied_ = 0;
    DownloadEngine engine_;  // last: its workers report into the queue until it is gone
};

}  // namespace velmora
