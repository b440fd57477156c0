// Figures for the whole window flow on the offscreen platform against the
// sample novel site on loopback: start-up time and resident memory, the time
// from the click to a filled 10,000-chapter list, and a 1,000-chapter
// download from a server that delays every answer by 50 ms, with the longest
// stall of the window's event loop during the run.
#include "BenchWindow.h"
#include "support/NovelSite.h"
#include "ui/MainWindow.h"
#include "ui/RuleSettingsWindow.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <fstream>
#include <string>

using namespace velmora;

namespace {

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

template <typename Pred>
void waitUntil(Pred done)
{
    while (!done()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    QElapsedTimer clock;
    clock.start();
    bench::BenchWindow session(argc, argv);
    MainWindow* window = &session.window();
    std::printf("start-up to shown main window: %lld ms\n", static_cast<long long>(clock.elapsed()));
    QElapsedTimer idle;
    idle.start();
    waitUntil([&] { return idle.elapsed() > 500; });
    std::printf("resident memory at idle: %ld KiB\n", residentKiB());

    auto* address = window->findChild<QLineEdit*>(QStringLiteral("编辑框_章节列表网址"));
    auto* fetch = window->findChild<QPushButton*>(QStringLiteral("按钮_获取章节标题"));
    auto* download = window->findChild<QPushButton*>(QStringLiteral("按钮_下载章节内容"));
    auto* list = window->findChild<QTreeWidget*>(QStringLiteral("超级列表框1"));

    {
        test::NovelSiteOptions options;
        options.chapters = 10000;
        test::NovelSite site(options);
        address->setText(QString::fromStdString(site.listUrl()));
        clock.restart();
        fetch->click();
        waitUntil([&] { return list->topLevelItemCount() == 10000; });
        std::printf("10,000-chapter list: click to filled list %lld ms\n", static_cast<long long>(clock.elapsed()));
        waitUntil([&] { return fetch->isEnabled(); });
    }

    {
        test::NovelSiteOptions options;
        options.chapters = 1000;
        options.delay = std::chrono::milliseconds(50);
        test::NovelSite site(options);
        address->setText(QString::fromStdString(site.listUrl()));
        fetch->click();
        waitUntil([&] { return fetch->isEnabled(); });

        // A timer that should tick every 5 ms; the widest gap between ticks is
        // the longest time the window could not react.
        QElapsedTimer sinceTick;
        qint64 longestStall = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout,
                         [&] { longestStall = std::max(longestStall, sinceTick.restart()); });
        ticker.start(5);
        sinceTick.start();
        clock.restart();
        download->click();
        const qint64 total = clock.elapsed();
        ticker.stop();
        std::printf("1,000 chapters at 50 ms each: %lld ms (ideal with 20 workers: 2500 ms)\n",
                    static_cast<long long>(total));
        std::printf("longest event-loop stall during the download: %lld ms\n", static_cast<long long>(longestStall));
    }

    {
        // Browser mode: the page-capture rule, script-built pages, one at a time.
        test::NovelSiteOptions options;
        options.chapters = 50;
        test::NovelSite site(options);
        window->ruleSettings()->findChild<QListWidget*>(QStringLiteral("列表框1"))->setCurrentRow(7);
        address->setText(QString::fromStdString(site.scriptListUrl()));
        fetch->click();
        waitUntil([&] { return fetch->isEnabled(); });
        const long before = residentKiB();
        clock.restart();
        download->click();
        const qint64 total = clock.elapsed();
        std::printf("browser mode, 50 script-built pages: %lld ms, %.1f pages/s (engine start included)\n",
                    static_cast<long long>(total), 50000.0 / static_cast<double>(std::max<qint64>(total, 1)));
        std::printf("resident memory before the engine started: %ld KiB, after: %ld KiB\n", before, residentKiB());

        download->click();  // the same rows again, now all unchecked: nothing to do
        for (int row = 0; row < 50; ++row) {
            list->topLevelItem(row)->setCheckState(0, Qt::Checked);
        }
        clock.restart();
        download->click();
        const qint64 warm = clock.elapsed();
        std::printf("browser mode again with the engine running: %lld ms, %.1f pages/s\n", static_cast<long long>(warm),
                    50000.0 / static_cast<double>(std::max<qint64>(warm, 1)));
    }

    return 0;
}
