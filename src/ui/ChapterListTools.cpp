#include "ui/ChapterListTools.h"

#include "core/Text.h"
#include "ui/ChapterRows.h"
#include "ui/Controls.h"
#include "ui/Prompts.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QTreeWidget>

namespace velmora {

using listtools::Direction;

namespace {

void showEmptyListMessage()
{
    TimedMessageBox(QStringLiteral("提示"), QStringLiteral("哥们，逗我玩呢？\r\n(3秒后自动关闭)"), 3000, StyleError);
}

// Lets the window repaint after a row changed. Clicks and keys wait until the
// tool has finished: a second tool, or a retrieval emptying the list, must not
// run in the middle of this one.
void repaintAfterRow()
{
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

ChapterListTools::ChapterListTools(const Controls& controls, QObject* parent) : QObject(parent), c_(controls) {}

void ChapterListTools::checkAll()
{
    if (rows::count(c_.chapters) == 0) {
        showEmptyListMessage();
        return;
    }
    for (int row = 0; row < rows::count(c_.chapters); ++row) {
        rows::setChecked(c_.chapters, row, true);
        repaintAfterRow();
    }
}

void ChapterListTools::invertAll()
{
    if (rows::count(c_.chapters) == 0) {
        showEmptyListMessage();
        return;
    }
    for (int row = 0; row < rows::count(c_.chapters); ++row) {
        rows::setChecked(c_.chapters, row, !rows::isChecked(c_.chapters, row));
        repaintAfterRow();
    }
}

void ChapterListTools::invertHighlighted()
{
    for (const int row : rows::highlightedRows(c_.chapters)) {
        rows::setChecked(c_.chapters, row, !rows::isChecked(c_.chapters, row));
        repaintAfterRow();
    }
}

void ChapterListTools::deleteHighlighted()
{
    const listtools::DeletePlan plan = listtools::planDelete(rows::highlightedRows(c_.chapters));
    if (plan.renumberFrom < 0) {
        return;
    }
    for (const int row : plan.rows) {
        rows::removeRow(c_.chapters, row);
        repaintAfterRow();
    }
    for (int row = plan.renumberFrom; row < rows::count(c_.chapters); ++row) {
        rows::setText(c_.chapters, row, rows::NumberColumn, text::decimal(row + 1));
        repaintAfterRow();
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
                        StyleError);
        return;
    }
    for (const int row : plan.rows) {
        rows::setHighlighted(c_.chapters, row, true);
        repaintAfterRow();
    }
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
                  distance, InputDigits, c_.promptOwner)) {
        return;
    }
    // Taken after the prompt: a download may have changed the highlight meanwhile.
    const listtools::MovePlan plan =
        listtools::planMove(rows::highlightedRows(c_.chapters), rows::count(c_.chapters), distance, direction);
    if (plan.refused) {
        showEmptyListMessage();
        return;
    }
    for (const auto& [from, to] : plan.steps) {
        rows::moveRow(c_.chapters, from, to);
        repaintAfterRow();
    }
}

} // namespace velmora
