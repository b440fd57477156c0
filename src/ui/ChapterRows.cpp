#include "ui/ChapterRows.h"

#include "core/Text.h"
#include "job/ChapterStatus.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <algorithm>

namespace velmora::rows {
namespace {

// The GBK bytes of a cell, kept beside its display text so they come back
// unchanged even where they hold no valid GBK.
constexpr int kBytesRole = Qt::UserRole + 1;

void putText(QTreeWidgetItem* item, int column, std::string_view gbk)
{
    item->setText(column, toQString(gbk));
    item->setData(column, kBytesRole, QByteArray(gbk.data(), static_cast<qsizetype>(gbk.size())));
}

}  // namespace

int count(const QTreeWidget* list)
{
    return list->topLevelItemCount();
}

void appendChapters(QTreeWidget* list, const std::vector<ChapterLink>& chapters, int firstNumber)
{
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(chapters.size()));
    int number = firstNumber;
    for (const ChapterLink& chapter : chapters) {
        auto* item = new QTreeWidgetItem();
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        putText(item, numberColumn, text::decimal(number++));
        item->setCheckState(numberColumn, Qt::Checked);
        putText(item, titleColumn, chapter.title);
        putText(item, addressColumn, chapter.address);
        putText(item, statusColumn, ChapterStatus::waiting());
        item->setTextAlignment(statusColumn, Qt::AlignCenter);
        items.append(item);
    }
    list->addTopLevelItems(items);
}

std::string text(const QTreeWidget* list, int row, int column)
{
    const QTreeWidgetItem* item = list->topLevelItem(row);
    if (item == nullptr) {
        return {};
    }
    const QVariant bytes = item->data(column, kBytesRole);
    return bytes.isValid() ? bytes.toByteArray().toStdString() : toGbk(item->text(column));
}

void setText(QTreeWidget* list, int row, int column, std::string_view gbk)
{
    if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        putText(item, column, gbk);
    }
}

void setFailure(QTreeWidget* list, int row, std::string_view utf8)
{
    if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        const QString tip = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
        if (item->toolTip(statusColumn) != tip) {
            item->setToolTip(statusColumn, tip);
        }
    }
}

bool isChecked(const QTreeWidget* list, int row)
{
    const QTreeWidgetItem* item = list->topLevelItem(row);
    return item != nullptr && item->checkState(numberColumn) == Qt::Checked;
}

void setChecked(QTreeWidget* list, int row, bool checked)
{
    if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        item->setCheckState(numberColumn, checked ? Qt::Checked : Qt::Unchecked);
    }
}

void setHighlighted(QTreeWidget* list, int row, bool highlighted)
{
    if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        item->setSelected(highlighted);
    }
}

void scrollTo(QTreeWidget* list, int row)
{
    if (QTreeWidgetItem* item = list->topLevelItem(row)) {
        list->scrollToItem(item);
    }
}

std::vector<int> highlightedRows(const QTreeWidget* list)
{
    // Walking the rows keeps this linear; looking each selected item's
    // position up would scan the list once per item.
    std::vector<int> rows;
    const int n = count(list);
    for (int row = 0; row < n; ++row) {
        if (list->topLevelItem(row)->isSelected()) {
            rows.push_back(row);
        }
    }
    return rows;
}

void clearHighlight(QTreeWidget* list)
{
    list->clearSelection();
}

void highlightRows(QTreeWidget* list, const std::vector<int>& positions, bool highlighted)
{
    const QAbstractItemModel* model = list->model();
    const int n = count(list);
    // Whole rows, spelled out: asking the selection model to widen each
    // range to its row would merge every range into all the others.
    const int lastColumn = list->columnCount() - 1;
    QItemSelection selection;
    for (std::size_t i = 0; i < positions.size();) {
        // Neighbouring rows share one range.
        std::size_t last = i;
        while (last + 1 < positions.size() && positions[last + 1] == positions[last] + 1) {
            ++last;
        }
        if (positions[i] >= 0 && positions[last] < n) {
            selection.select(model->index(positions[i], 0), model->index(positions[last], lastColumn));
        }
        i = last + 1;
    }
    list->selectionModel()->select(selection,
                                   highlighted ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

void moveRow(QTreeWidget* list, int from, int to)
{
    QTreeWidgetItem* item = list->takeTopLevelItem(from);
    if (item == nullptr) {
        return;
    }
    const bool highlighted = item->isSelected();
    list->insertTopLevelItem(std::clamp(to, 0, count(list)), item);
    item->setSelected(highlighted);
}

void removeRow(QTreeWidget* list, int row)
{
    delete list->takeTopLevelItem(row);
}

}  // namespace velmora::rows

namespace velmora {

// The stock delegate, which also tells where it draws a row's check box: the
// same place it takes a click on the check box from.
class ChapterListView::Delegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QRect checkBoxRect(QStyleOptionViewItem option, const QModelIndex& index) const
    {
        initStyleOption(&option, index);
        const QWidget* view = option.widget;
        QStyle* style = view != nullptr ? view->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view);
    }
};

ChapterListView::ChapterListView(QWidget* parent) : QTreeWidget(parent), delegate_(new Delegate(this))
{
    setItemDelegate(delegate_);
}

bool ChapterListView::onCheckBox(const QModelIndex& index, const QPoint& position) const
{
    if (!index.isValid() || !index.flags().testFlag(Qt::ItemIsUserCheckable)
        || !index.data(Qt::CheckStateRole).isValid()) {
        return false;
    }
    // The option the view hands the delegate with a mouse event.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return delegate_->checkBoxRect(option, index).contains(position);
}

QItemSelectionModel::SelectionFlags ChapterListView::selectionCommand(const QModelIndex& index,
                                                                      const QEvent* event) const
{
    if (pressOnCheckBox_ && event != nullptr
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseMove
            || event->type() == QEvent::MouseButtonRelease)) {
        return QItemSelectionModel::NoUpdate;
    }
    return QTreeWidget::selectionCommand(index, event);
}

void ChapterListView::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    pressOnCheckBox_ = event->button() == Qt::LeftButton && onCheckBox(indexAt(position), position);
    QTreeWidget::mousePressEvent(event);
}

void ChapterListView::mouseReleaseEvent(QMouseEvent* event)
{
    // The view asks for the release's selection command on the way.
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        pressOnCheckBox_ = false;
    }
}

}  // namespace velmora
