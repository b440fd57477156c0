#pragma once

#include "job/JobProgress.h"

#include <QObject>

#include <cstdint>
#include <string>
#include <thread>

class QCheckBox;
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
class SharedLock;
class WorkerPool;

// One novel's job as the main window runs it: the chapter-list retrieval on
// a thread of its own, the download of the checked rows, pause, continue and
// stop, and the merge. Its state is kept in the window's controls; worker
// threads reach them only through blocking calls the window thread serves.
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
        QWidget* listTools;  // the row tools, which would move rows under a running job
    };

    // What the job shares with the rest of the program.
    struct Shared {
        WorkerPool& pool;
        AtomicCounter& failedCount;
        SharedLock& progressLock;
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

    // How long a page may take to load in browser mode before the attempt
    // counts as failed.
    void setPageLoadTimeLimit(int ms) { pageLoadTimeLimitMs_ = ms; }

    // Stops a running download (queued chapters dropped) and waits, keeping
    // the window's events flowing, until no worker and no retrieval is left.
    void stopAndWait();

private:
    void fetchChapterList();
    void downloadChaptersHttp(int rowCount);
    void downloadChaptersByBrowser(int rowCount);
    std::string captureChapter(const std::string& address, const std::string& left, const std::string& right);
    static void downloadChapterHttp(std::int32_t row, std::int32_t unused);
    void downloadChapter(int row);
    void saveChapter(int row, const std::string& text);
    void finishDownload(bool autoMerge);
    bool mergeNovel();
    void setStatus(const QString& text);
    void setJobControlsEnabled(bool enabled);

    Controls c_;
    WorkerPool& pool_;
    AtomicCounter& failedCount_;
    SharedLock& progressLock_;
    CapturedDocument& document_;
    PageBrowser& browser_;
    int pageLoadTimeLimitMs_ = 30000;
    JobProgress progress_;
    std::thread fetchThread_;
    bool fetching_ = false;
    bool downloading_ = false;
};

} // namespace velmora
