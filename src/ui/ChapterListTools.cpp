#include "ui/ChapterListTools.h"

#include "core/Text.h"
#include "ui/ChapterRows.h"
#include "ui/Controls.h"
#include "ui/Prompts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTreeWidget>

#include <algorithm>
#include <vector>

namespace velmora {

using listtools::Direction;

namespace {

void showEmptyListMessage()
{
    TimedMessageBox(QStringLiteral("提示"), QStringLiteral("哥们，逗我玩呢？\r\n(3秒后自动关闭)"), 3000, styleError);
}

// Lets the window repaint while a tool works through the rows: after a row
// changed, pending events are processed once a frame's time has passed since
// the last time. Doing it after every row would make long lists slow, as the
// view lays out all its rows again whenever rows came or went. Clicks and keys
// wait until the tool has finished: a second tool, or a retrieval emptying the
// list, must not run in the middle of this one.
class Repainter {
public:
    Repainter() { sinceLast_.start(); }

    void afterRow()
    {
        if (sinceLast_.elapsed() >= kFrameMs) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            sinceLast_.restart();
        }
    }

private:
    static constexpr qint64 kFrameMs = 16;
    QElapsedTimer sinceLast_;
};

}  // namespace

ChapterListTools::ChapterListTools(const Controls& controls, QObject* parent) : QObject(parent), c_(controls) {}

void ChapterListTools::checkAll()
{
    if (rows::count(c_.chapters) == 0) {
        showEmptyListMessage();
        return;
    }
    Repainter repainter;
    for (int row = 0; row < rows::count(c_.chapters); ++row) {
        rows::setChecked(c_.chapters, row, true);
        repainter.afterRow();
    }
}

void ChapterListTools::invertAll()
{
    if (rows::count(c_.chapters) == 0) {
        showEmptyListMessage();
        return;
    }
    Repainter repainter;
    for (int row = 0; row < rows::count(c_.chapters); ++row) {
        rows::setChecked(c_.chapters, row, !rows::isChecked(c_.chapters, row));
        repainter.afterRow();
    }
}

void ChapterListTools::invertHighlighted()
{
    Repainter repainter;
    for (const int row : rows::highlightedRows(c_.chapters)) {
        rows::setChecked(c_.chapters, row, !rows::isChecked(c_.chapters, row));
        repainter.afterRow();
    }
}

void ChapterListTools::deleteHighlighted()
{
    const listtools::DeletePlan plan = listtools::planDelete(rows::highlightedRows(c_.chapters));
    if (plan.renumberFrom < 0) {
        return;
    }
    // Every highlighted row goes, so the highlight can go first; otherwise
    // each removal would also rework the selection of every row still to go.
    rows::clearHighlight(c_.chapters);
    Repainter repainter;
    for (const int row : plan.rows) {
        rows::removeRow(c_.chapters, row);
        repainter.afterRow();
    }
    for (int row = plan.renumberFrom; row < rows::count(c_.chapters); ++row) {
        rows::setText(c_.chapters, row, rows::numberColumn, text::decimal(row + 1));
        repainter.afterRow();
    }
}

void ChapterListTools::selectInterval()
{
    rows::clearHighlight(c_.chapters);
    const listtools::IntervalPlan plan =
        listtools::planInterval(controls::numberValue(c_.firstRow), controls::numberValue(c_.interval),
                                controls::numberValue(c_.lastRow), rows::count(c_.chapters));
    if (plan.lastClamped) {
        controls::setNumberValue(c_.lastRow, plan.last);
    }
    if (plan.tooLarge) {
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("哥们，间隔设的太大啦！\r\n(3秒后自动关闭)"), 3000,
                        styleError);
        return;
    }
    rows::highlightRows(c_.chapters, plan.rows);
    rows::scrollTo(c_.chapters, plan.rows.front());
}

void ChapterListTools::moveUp()
{
    move(Direction::up);
}

void ChapterListTools::moveDown()
{
    move(Direction::down);
}

void ChapterListTools::move(Direction direction)
{
    if (rows::highlightedRows(c_.chapters).empty()) {
        showEmptyListMessage();
        return;
    }
    int distance = 0;
    if (!InputBox(QStringLiteral("请输入需要移动的行数：（正整数）"), QStringLiteral("输入行数"), QStringLiteral("1"),
                  distance, inputDigits, c_.promptOwner)) {
        return;
    }
    // Taken after the prompt: a download may have changed the highlight meanwhile.
    const listtools::MovePlan plan =
        listtools::planMove(rows::highlightedRows(c_.chapters), rows::count(c_.chapters), distance, direction);
    if (plan.refused) {
        showEmptyListMessage();
        return;
    }
    if (plan.steps.empty()) {
        return;  // already at the bottom
    }
    // The moved rows are highlighted again in one step at the end: a row
    // taken out and put back while others stay highlighted costs the view
    // time in proportion to them, each time.
    rows::clearHighlight(c_.chapters);
    std::vector<int> moved;
    Repainter repainter;
    for (const auto& [from, to] : plan.steps) {
        rows::moveRow(c_.chapters, from, to);
        moved.push_back(to);
        repainter.afterRow();
    }
    std::sort(moved.begin(), moved.end());
    rows::highlightRows(c_.chapters, moved);
}

}  // namespace velmora
