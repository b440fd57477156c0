#pragma once

#include "job/ChapterList.h"

#include <QTreeWidget>

#include <string>
#include <string_view>
#include <vector>

// The chapter list kept in the list view itself, one row per chapter:
// column 0 the row number with the check box, 1 the title, 2 the address,
// 3 the status. Texts go in and out as GBK, byte for byte. Window thread only.
namespace velmora::rows {

enum Column : int { numberColumn = 0, titleColumn = 1, addressColumn = 2, statusColumn = 3 };

int count(const QTreeWidget* list);

// Appends one checked, waiting row per chapter, numbered on from `firstNumber`.
void appendChapters(QTreeWidget* list, const std::vector<ChapterLink>& chapters, int firstNumber = 1);

std::string text(const QTreeWidget* list, int row, int column);
void setText(QTreeWidget* list, int row, int column, std::string_view gbk);

// Why the row's last attempt failed (UTF-8), shown as its status tooltip;
// empty clears it.
void setFailure(QTreeWidget* list, int row, std::string_view utf8);

bool isChecked(const QTreeWidget* list, int row);
void setChecked(QTreeWidget* list, int row, bool checked);

void setHighlighted(QTreeWidget* list, int row, bool highlighted);
void scrollTo(QTreeWidget* list, int row);

// Positions of the highlighted rows, ascending.
std::vector<int> highlightedRows(const QTreeWidget* list);
void clearHighlight(QTreeWidget* list);
// Highlights (or, with `highlighted` false, unhighlights) the rows at
// `positions` (ascending) in one step: highlighting them one by one costs the
// view time in proportion to the rows it already holds highlighted, each time.
void highlightRows(QTreeWidget* list, const std::vector<int>& positions, bool highlighted = true);

// Takes the row at `from` out and puts it back at `to` (a position in the
// list without it), with its check state, texts and highlight as they were.
void moveRow(QTreeWidget* list, int from, int to);
void removeRow(QTreeWidget* list, int row);

}  // namespace velmora::rows

namespace velmora {

// The chapter list view. Checking a row and highlighting it are separate: a
// mouse click on a row's check box toggles the check and leaves every row's
// highlight as it was, so an interval highlight survives checking rows by
// hand. Clicks elsewhere on a row highlight as in any list view.
class ChapterListView : public QTreeWidget {
public:
    explicit ChapterListView(QWidget* parent = nullptr);

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index, const QEvent* event) const override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    class Delegate;

    bool onCheckBox(const QModelIndex& index, const QPoint& position) const;

    Delegate* delegate_;
    // The left button went down on a check box and is still down.
    bool pressOnCheckBox_ = false;
};

}  // namespace velmora
