#pragma once

#include "job/ListTools.h"

#include <QObject>

class QLineEdit;
class QTreeWidget;
class QWidget;

namespace velmora {

// The tools that prune and reorder the chapter list before a download: check
// all, invert all, invert or delete the highlighted rows, highlight rows at
// an interval, and move the highlighted rows up or down. Each runs on the
// window thread and keeps the window repainting while it works through a
// long list.
class ChapterListTools : public QObject {
    Q_OBJECT

public:
    struct Controls {
        QTreeWidget* chapters;
        QLineEdit* firstRow;
        QLineEdit* interval;
        QLineEdit* lastRow;
        QWidget* promptOwner;  // owns the distance prompt of a move
    };

    explicit ChapterListTools(const Controls& controls, QObject* parent = nullptr);

    // Click handlers.
    void checkAll();
    void invertAll();
    void invertHighlighted();
    void deleteHighlighted();
    void selectInterval();
    void moveUp();
    void moveDown();

private:
    void move(listtools::Direction direction);

    Controls c_;
};

}  // namespace velmora
