// Whole downloads next to their anchor, measured in the same run: the main
// window (click to end of run) and the engine alone against curl --parallel
// --parallel-max 20 fetching the same chapter addresses (bodies dropped, and
// again into one file each, as the program stores them), for
// 3,000 chapters from a loopback site that answers at once and for 1,000
// chapters answered after 50 ms each; with the longest stall of the window's
// event loop during each window run.
//
// Every run that writes files starts in a new, empty folder with earlier writes
// flushed: the previous run's folder is moved aside, not deleted, until the
// end. Deleting thousands of files just before a run makes ext4 look past the
// inodes it has just freed when the run creates its own, which costs that run
// several times the writing itself; overwriting the previous files instead
// would spare curl new inodes while every atomic replacement still needs them.
#include "BenchWindow.h"
#include "CurlTool.h"
#include "core/AtomicCounter.h"
#include "core/WorkerPool.h"
#include "job/ChapterFiles.h"
#include "job/NovelEngine.h"
#include "rules/RuleStore.h"
#include "support/NovelSite.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <time.h>
#include <unistd.h>

using namespace velmora;

namespace {

constexpr int kRounds = 3;

template <typename Pred>
void waitUntil(Pred done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// Processor time of the calling thread so far, in milliseconds.
double threadCpuMs()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Scenario {
    int chapters;
    std::chrono::milliseconds delay;
    const char* name;
};

}  // namespace

int main(int argc, char** argv)
{
    bench::BenchWindow session(argc, argv);
    MainWindow* window = &session.window();
    auto* address = window->findChild<QLineEdit*>(QStringLiteral("编辑框_章节列表网址"));
    auto* fetch = window->findChild<QPushButton*>(QStringLiteral("按钮_获取章节标题"));
    auto* download = window->findChild<QPushButton*>(QStringLiteral("按钮_下载章节内容"));
    auto* list = window->findChild<QTreeWidget*>(QStringLiteral("超级列表框1"));
    // The run ends with its report rather than a merge, which curl has no counterpart of.
    window->findChild<QCheckBox*>(QStringLiteral("选择框_合并"))->click();

    const SiteRule rule = RuleStore().readRule(1);
    const ListPatterns patterns{rule.novelNamePattern, rule.authorPattern, rule.chapterListPattern};
    const ContentMarkers markers{rule.contentLeftMarker, rule.contentRightMarker};

    int runs = 0;  // names the folders moved aside
    for (const Scenario& scenario : {Scenario{3000, std::chrono::milliseconds(0), "3,000 chapters, answered at once"},
                                     Scenario{1000, std::chrono::milliseconds(50), "1,000 chapters, 50 ms each"}}) {
        test::NovelSiteOptions options;
        options.chapters = scenario.chapters;
        options.delay = scenario.delay;
        test::NovelSite site(options);
        address->setText(QString::fromStdString(site.listUrl()));
        fetch->click();
        waitUntil([&] { return fetch->isEnabled(); });

        const Retrieval found = retrieveChapterList(site.listUrl(), patterns);
        const std::filesystem::path novelFolder = novelFolderPath(found.novel.name);
        const auto startEmpty = [&] {
            ++runs;
            std::error_code ignored;
            std::filesystem::create_directories("old", ignored);
            std::filesystem::rename(novelFolder, "old/novel-" + std::to_string(runs), ignored);
            std::filesystem::rename("curl", "old/curl-" + std::to_string(runs), ignored);
            std::filesystem::create_directories("curl");
            ::sync();
        };

        std::vector<std::string> urls;
        std::vector<std::string> outputs;
        for (int n = 1; n <= scenario.chapters; ++n) {
            urls.push_back(site.server().url("/book/1/" + std::to_string(n) + ".html"));
            outputs.push_back("curl/" + std::to_string(n) + ".txt");
        }

        const std::vector<std::string> dropped(urls.size(), "/dev/null");
        std::vector<double> windowTimes, engineTimes, curlTimes, curlFileTimes;
        qint64 longestStall = 0;
        qint64 stallEndedAt = 0;  // ms into its run
        double stallBusy = 0;     // ms the window thread ran during that stall
        QElapsedTimer clock;
        for (int round = 0; round < kRounds; ++round) {
            for (int row = 0; row < list->topLevelItemCount(); ++row) {
                list->topLevelItem(row)->setCheckState(0, Qt::Checked);
            }
            // A timer that should tick every 5 ms; the widest gap between
            // ticks is the longest time the window could not react.
            // The window thread's own processor time over the widest gap
            // tells a window busy with its own work from one that was ready
            // to run but not given a processor.
            QElapsedTimer sinceTick;
            double cpuAtTick = threadCpuMs();
            QTimer ticker;
            QObject::connect(&ticker, &QTimer::timeout, [&] {
                const qint64 gap = sinceTick.restart();
                const double cpu = threadCpuMs();
                if (gap > longestStall) {
                    longestStall = gap;
                    stallEndedAt = clock.elapsed();
                    stallBusy = cpu - cpuAtTick;
                }
                cpuAtTick = cpu;
            });
            startEmpty();
            clock.start();
            ticker.start(5);
            sinceTick.start();
            cpuAtTick = threadCpuMs();
            download->click();
            windowTimes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
            ticker.stop();

            {
                WorkerPool pool;
                AtomicCounter failed;
                DownloadEngine engine(pool, failed);
                startEmpty();
                clock.restart();
                engine.start({found.novel, markers, found.rows}, nullptr);
                engine.wait();
                engineTimes.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e9);
                if (engine.doneCount() != scenario.chapters) {
                    std::printf("engine saved only %d chapters\n", engine.doneCount());
                }
                pool.stop();
            }

            curlTimes.push_back(bench::runCurlParallel(urls, dropped));
            startEmpty();
            curlFileTimes.push_back(bench::runCurlParallel(urls, outputs));
        }
        const double windowTime = median(windowTimes);
        const double engineTime = median(engineTimes);
        const double curlTime = median(curlTimes);
        const double curlFileTime = median(curlFileTimes);
        std::printf("%s (median of %d rounds)\n", scenario.name, kRounds);
        std::printf("  window:  %6.3f s  %.2fx curl, %.2fx curl into files\n", windowTime, windowTime / curlTime,
                    windowTime / curlFileTime);
        std::printf("  engine:  %6.3f s  %.2fx curl, %.2fx curl into files\n", engineTime, engineTime / curlTime,
                    engineTime / curlFileTime);
        std::printf("  curl:    %6.3f s (bodies dropped), %.3f s (into one file each)\n", curlTime, curlFileTime);
        std::printf("  longest event-loop stall during the window runs: %lld ms (ended %lld ms into its run; "
                    "the window thread ran %.0f ms of it)\n",
                    static_cast<long long>(longestStall), static_cast<long long>(stallEndedAt), stallBusy);
    }
    std::filesystem::remove_all("old");
    return 0;
}
