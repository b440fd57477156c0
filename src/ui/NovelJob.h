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

namespace velmora {

class AtomicCounter;
class RuleSettingsWindow;
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
    };

    NovelJob(const Controls& controls, WorkerPool& pool, AtomicCounter& failedCount, SharedLock& progressLock,
             QObject* parent = nullptr);
    ~NovelJob() override;

    // Click handlers.
    void startChapterListFetch();
    void downloadChapters();
    void pauseOrContinue();
    void stop();
    void mergeButtonClicked();

    bool isDownloading() const { return downloading_; }
    bool isFetching() const { return fetching_; }

    // Stops a running download (queued chapters dropped) and waits, keeping
    // the window's events flowing, until no worker and no retrieval is left.
    void stopAndWait();

private:
    void fetchChapterList();
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
    JobProgress progress_;
    std::thread fetchThread_;
    bool fetching_ = false;
    bool downloading_ = false;
};

} // namespace velmora
