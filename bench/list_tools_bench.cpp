// Figures for the chapter-list tools on a 10,000-row list in the main window,
// shown on the offscreen platform: each tool's time from the click to its
// return, window repaints during the run included.
#include "BenchWindow.h"
#include "ui/ChapterRows.h"
#include "ui/Controls.h"
#include "ui/MainWindow.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <cstdio>
#include <string>

using namespace velmora;

namespace {

constexpr int kRows = 10000;

struct Bench {
    MainWindow& window;
    QTreeWidget* list = window.findChild<QTreeWidget*>(QStringLiteral("超级列表框1"));

    void refill()
    {
        list->clear();
        std::vector<ChapterLink> chapters;
        for (int i = 1; i <= kRows; ++i) {
            chapters.push_back({std::to_string(i) + ".html", "chapter " + std::to_string(i)});
        }
        rows::appendChapters(list, chapters);
        QCoreApplication::processEvents();
    }

    void setInterval(int first, int step, int last)
    {
        controls::setNumberValue(window.findChild<QLineEdit*>(QStringLiteral("编辑框_首行")), first);
        controls::setNumberValue(window.findChild<QLineEdit*>(QStringLiteral("编辑框_间隔")), step);
        controls::setNumberValue(window.findChild<QLineEdit*>(QStringLiteral("编辑框_尾行")), last);
    }

    // Clicks the button and prints how long the tool took.
    void time(const char* label, const char* buttonName)
    {
        auto* button = window.findChild<QPushButton*>(QString::fromUtf8(buttonName));
        QElapsedTimer clock;
        clock.start();
        button->click();
        const qint64 ms = clock.elapsed();
        std::printf("%-58s %6lld ms  (%d rows left, %zu highlighted)\n", label, static_cast<long long>(ms),
                    rows::count(list), rows::highlightedRows(list).size());
    }
};

}  // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    velmora::bench::BenchWindow window(argc, argv);
    Bench bench{window.window()};
    std::printf("10,000-row list:\n");
    bench.refill();
    bench.time("check all", "按钮_全选");
    bench.time("invert all", "按钮_反选");

    bench.setInterval(1, 2, 9999);
    bench.time("interval selection, every 2nd row", "按钮_间选");
    bench.time("invert highlighted (5,000 rows)", "按钮_取消选择");
    bench.time("delete highlighted (5,000 rows) and renumber", "按钮_删除选择");

    bench.refill();
    bench.setInterval(1, 1, 32767);
    bench.time("interval selection, every row", "按钮_间选");
    bench.time("delete highlighted (all 10,000 rows)", "按钮_删除选择");

    bench.refill();
    bench.setInterval(1, 10, 9999);
    bench.time("interval selection, every 10th row", "按钮_间选");
    setInputBoxHook([](const QString&, const QString&, const QString&, int) {
        return std::optional<QString>(QStringLiteral("3"));
    });
    bench.time("move 1,000 highlighted rows down by 3", "按钮_下移");
    bench.time("move 1,000 highlighted rows up by 3", "按钮_上移");
    bench.setInterval(1, 2, 32767);
    bench.time("interval selection, every 2nd row", "按钮_间选");
    bench.time("move 5,000 highlighted rows down by 1", "按钮_下移");

    bench.refill();
    rows::setHighlighted(bench.list, 0, true);
    rows::setHighlighted(bench.list, 1, true);
    bench.time("delete rows 1 and 2, renumber 9,998 rows", "按钮_删除选择");

    return 0;
}
