// The chapter-list tools on the main window's real list: rows are put in
// directly, the tools are clicked, prompts are answered through the seams.
#include "job/ChapterStatus.h"
#include "ui/ChapterRows.h"
#include "ui/Controls.h"
#include "ui/WindowTestFixture.h"

#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

const QString kEmptyList = QStringLiteral("哥们，逗我玩呢？\r\n(3秒后自动关闭)");
const QString kIntervalTooLarge = QStringLiteral("哥们，间隔设的太大啦！\r\n(3秒后自动关闭)");

}  // namespace

class ChapterListToolsTest : public WindowTest {
protected:
    // Rows numbered 1..n, titled c1..cn, checked and waiting.
    void fill(int n)
    {
        std::vector<ChapterLink> chapters;
        for (int i = 1; i <= n; ++i) {
            chapters.push_back({std::to_string(i) + ".html", "c" + std::to_string(i)});
        }
        rows::appendChapters(list(), chapters);
    }

    void highlight(std::initializer_list<int> positions)
    {
        list()->clearSelection();
        for (const int row : positions) {
            rows::setHighlighted(list(), row, true);
        }
    }

    std::vector<int> highlighted() { return rows::highlightedRows(list()); }

    // The titles in list order, as the numbers they were made with.
    std::vector<int> order()
    {
        std::vector<int> titles;
        for (int row = 0; row < list()->topLevelItemCount(); ++row) {
            titles.push_back(cell(row, 1).mid(1).toInt());
        }
        return titles;
    }

    void setBoxes(int first, int step, int last)
    {
        controls::setNumberValue(control<QLineEdit>("编辑框_首行"), first);
        controls::setNumberValue(control<QLineEdit>("编辑框_间隔"), step);
        controls::setNumberValue(control<QLineEdit>("编辑框_尾行"), last);
    }
};

struct IntervalCase {
    const char* label;
    int first, step, last;
    std::vector<int> highlighted;
    QString lastShown;
    bool message;
};

void PrintTo(const IntervalCase& c, std::ostream* os)
{
    *os << c.label;
}

class IntervalSelectionTest : public ChapterListToolsTest, public testing::WithParamInterface<IntervalCase> {};

TEST_P(IntervalSelectionTest, HighlightsEveryStepOrWarns)
{
    const IntervalCase& c = GetParam();
    fill(10);
    highlight({2, 3});  // a highlight from before is always dropped
    setBoxes(c.first, c.step, c.last);
    button("按钮_间选")->click();
    EXPECT_EQ(highlighted(), c.highlighted);
    EXPECT_EQ(control<QLineEdit>("编辑框_尾行")->text(), c.lastShown);
    if (c.message) {
        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0].caption, "提示");
        EXPECT_EQ(shown()[0].text, kIntervalTooLarge);
        EXPECT_EQ(shown()[0].timeoutMs, 3000);
        EXPECT_EQ(shown()[0].style, styleError);
    } else {
        EXPECT_TRUE(shown().empty());
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ListTools, IntervalSelectionTest, testing::Values(
    IntervalCase{"last row cut to the list", 1, 4, 9999, {0, 4, 8}, "10", false},
    IntervalCase{"interval as long as the list", 1, 10, 10, {}, "10", true},
    IntervalCase{"interval 0", 1, 0, 10, {}, "10", true},
    IntervalCase{"first row 0 counts as 1", 0, 4, 10, {0, 4, 8}, "10", false},
    IntervalCase{"from row 3 up to 8", 3, 2, 8, {2, 4, 6}, "8", false}
));
// clang-format on

TEST_F(ChapterListToolsTest, IntervalSelectionScrollsToTheFirstRow)
{
    fill(300);
    list()->scrollToBottom();
    setBoxes(120, 50, 9999);
    button("按钮_间选")->click();
    EXPECT_EQ(highlighted(), (std::vector<int>{119, 169, 219, 269}));
    QCoreApplication::processEvents();
    EXPECT_TRUE(list()->visualItemRect(list()->topLevelItem(119)).intersects(list()->viewport()->rect()));
}

struct MoveCase {
    const char* label;
    int rowCount;
    std::vector<int> highlighted;
    const char* button;
    std::optional<QString> distance;
    std::vector<int> order;  // titles afterwards; empty: unchanged
    std::vector<int> highlightedAfter;
    bool message;
};

void PrintTo(const MoveCase& c, std::ostream* os)
{
    *os << c.label;
}

class MoveRowsTest : public ChapterListToolsTest, public testing::WithParamInterface<MoveCase> {};

TEST_P(MoveRowsTest, MovesTheHighlightedRowsWhole)
{
    const MoveCase& c = GetParam();
    fill(c.rowCount);
    for (int row = 0; row < c.rowCount; row += 2) {
        rows::setChecked(list(), row, false);  // every other row unchecked, to see the state travel
    }
    rows::setText(list(), 1, rows::statusColumn, ChapterStatus::done());
    list()->clearSelection();
    for (const int row : c.highlighted) {
        rows::setHighlighted(list(), row, true);
    }
    answerInputs({c.distance});
    button(c.button)->click();

    std::vector<int> expected = c.order;
    if (expected.empty()) {
        for (int i = 1; i <= c.rowCount; ++i) {
            expected.push_back(i);
        }
    }
    EXPECT_EQ(order(), expected);
    EXPECT_EQ(highlighted(), c.highlightedAfter);
    for (int row = 0; row < c.rowCount; ++row) {
        const int title = expected[static_cast<std::size_t>(row)];
        EXPECT_EQ(cell(row, 0), QString::number(title)) << "a move keeps the old number";
        EXPECT_EQ(cell(row, 2), QString::number(title) + ".html");
        EXPECT_EQ(checked(row), title % 2 == 0) << row;
        EXPECT_EQ(cell(row, 3), title == 2 ? "下载完毕" : "等待下载");
        EXPECT_EQ(rows::text(list(), row, rows::titleColumn), "c" + std::to_string(title));
    }
    if (c.message) {
        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0].text, kEmptyList);
        EXPECT_EQ(shown()[0].style, styleError);
    } else {
        EXPECT_TRUE(shown().empty());
    }
    if (!c.highlighted.empty()) {
        ASSERT_EQ(asked().size(), 1u);
        EXPECT_EQ(asked()[0].prompt, "请输入需要移动的行数：（正整数）");
        EXPECT_EQ(asked()[0].title, "输入行数");
        EXPECT_EQ(asked()[0].initialText, "1");
        EXPECT_EQ(asked()[0].mode, inputDigits);
    } else {
        EXPECT_TRUE(asked().empty());
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ListTools, MoveRowsTest, testing::Values(
    MoveCase{"up further than the top", 10, {2, 3}, "按钮_上移", QString("5"), {3, 4, 1, 2, 5, 6, 7, 8, 9, 10},
             {0, 1}, false},
    MoveCase{"down by 2, rows apart", 10, {1, 5}, "按钮_下移", QString("2"), {1, 3, 4, 2, 5, 7, 8, 6, 9, 10},
             {3, 7}, false},
    MoveCase{"down by 1, a block", 6, {1, 2, 3}, "按钮_下移", QString("1"), {1, 5, 2, 3, 4, 6}, {2, 3, 4}, false},
    MoveCase{"last row down", 10, {9}, "按钮_下移", QString("3"), {}, {9}, false},
    MoveCase{"first row up", 10, {0, 4}, "按钮_上移", QString("1"), {}, {0, 4}, true},
    MoveCase{"nothing highlighted", 10, {}, "按钮_下移", QString("1"), {}, {}, true},
    MoveCase{"distance 0", 10, {4}, "按钮_上移", QString("0"), {}, {4}, true},
    MoveCase{"negative distance", 10, {4}, "按钮_下移", QString("-2"), {}, {4}, true},
    MoveCase{"no number", 10, {4}, "按钮_下移", QString(""), {}, {4}, true},
    MoveCase{"prompt cancelled", 10, {4}, "按钮_上移", std::nullopt, {}, {4}, false}
));
// clang-format on

TEST_F(ChapterListToolsTest, DeletingHighlightedRowsRenumbersFromTheFirstGap)
{
    fill(8);
    rows::setText(list(), 0, rows::numberColumn, "x");  // rows above the first deletion keep their numbers
    highlight({2, 4});
    button("按钮_删除选择")->click();
    EXPECT_EQ(order(), (std::vector<int>{1, 2, 4, 6, 7, 8}));
    EXPECT_EQ(cell(0, 0), "x");
    for (int row = 1; row < 6; ++row) {
        EXPECT_EQ(cell(row, 0), QString::number(row + 1));
    }
    EXPECT_TRUE(highlighted().empty());

    button("按钮_删除选择")->click();  // nothing highlighted: nothing happens
    EXPECT_EQ(list()->topLevelItemCount(), 6);
    EXPECT_TRUE(shown().empty());
}

TEST_F(ChapterListToolsTest, CheckAllAndInvertAllNeedRows)
{
    button("按钮_全选")->click();
    button("按钮_反选")->click();
    ASSERT_EQ(shown().size(), 2u);
    for (const Shown& s : shown()) {
        EXPECT_EQ(s.caption, "提示");
        EXPECT_EQ(s.text, kEmptyList);
        EXPECT_EQ(s.timeoutMs, 3000);
        EXPECT_EQ(s.style, styleError);
    }
    forgetShown();

    fill(4);
    rows::setChecked(list(), 1, false);
    button("按钮_反选")->click();
    EXPECT_EQ((std::vector<bool>{checked(0), checked(1), checked(2), checked(3)}),
              (std::vector<bool>{false, true, false, false}));
    button("按钮_全选")->click();
    EXPECT_EQ((std::vector<bool>{checked(0), checked(1), checked(2), checked(3)}),
              (std::vector<bool>{true, true, true, true}));
    EXPECT_TRUE(shown().empty());
}

TEST_F(ChapterListToolsTest, InvertHighlightedTouchesOnlyThoseRows)
{
    fill(5);
    button("按钮_取消选择")->click();  // nothing highlighted
    for (int row = 0; row < 5; ++row) {
        EXPECT_TRUE(checked(row));
    }
    highlight({1, 3});
    rows::setChecked(list(), 3, false);
    button("按钮_取消选择")->click();
    EXPECT_EQ((std::vector<bool>{checked(0), checked(1), checked(2), checked(3), checked(4)}),
              (std::vector<bool>{true, false, true, true, true}));
    EXPECT_TRUE(shown().empty());
}

// Where the list's style draws the check box of `row`.
QRect checkBoxRect(QTreeWidget* list, int row)
{
    const QModelIndex index = list->model()->index(row, 0);
    QStyleOptionViewItem option;
    option.initFrom(list->viewport());
    option.widget = list;
    option.font = list->font();
    option.fontMetrics = QFontMetrics(list->font());
    option.rect = list->visualRect(index);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.checkState = list->topLevelItem(row)->checkState(0);
    option.text = list->topLevelItem(row)->text(0);
    return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
}

struct MouseCase {
    const char* label;
    int row;
    bool onCheckBox;  // else on the title
    QPoint jitter;    // how far the mouse moves between press and release
    std::vector<int> highlighted;
    bool checkedAfter;
};

void PrintTo(const MouseCase& c, std::ostream* os)
{
    *os << c.label;
}

class MouseOnRowTest : public ChapterListToolsTest, public testing::WithParamInterface<MouseCase> {};

// Checking and highlighting are separate: a click on a check box must not
// throw away an interval highlight, nor add its row to it, even when the hand
// moves the mouse a little while the button is down.
TEST_P(MouseOnRowTest, CheckBoxClickKeepsTheHighlight)
{
    const MouseCase& c = GetParam();
    fill(10);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window()));
    setBoxes(1, 4, 9999);
    button("按钮_间选")->click();
    ASSERT_EQ(highlighted(), (std::vector<int>{0, 4, 8}));

    const QRect box = checkBoxRect(list(), c.row);
    ASSERT_TRUE(box.isValid());
    ASSERT_TRUE(box.contains(box.center() + c.jitter));
    const QPoint at = c.onCheckBox ? box.center() : list()->visualRect(list()->model()->index(c.row, 1)).center();
    QWidget* viewport = list()->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
    if (!c.jitter.isNull()) {
        QMouseEvent move(QEvent::MouseMove, at + c.jitter, viewport->mapToGlobal(at + c.jitter), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at + c.jitter);
    EXPECT_EQ(highlighted(), c.highlighted);
    EXPECT_EQ(checked(c.row), c.checkedAfter);
    for (int row = 0; row < 10; ++row) {
        EXPECT_TRUE(row == c.row || checked(row)) << row;
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ListTools, MouseOnRowTest, testing::Values(
    MouseCase{"check box of a plain row", 2, true, {}, {0, 4, 8}, false},
    MouseCase{"check box of a plain row, hand moving", 2, true, {2, 1}, {0, 4, 8}, false},
    MouseCase{"check box of a highlighted row, hand moving", 4, true, {-2, 1}, {0, 4, 8}, false},
    MouseCase{"title highlights only its row", 3, false, {}, {3}, true},
    MouseCase{"title, hand moving", 3, false, {2, 1}, {3}, true}
));
// clang-format on

struct NumberBoxCase {
    const char* typed;
    const char* shownAfter;
    int value;
};

void PrintTo(const NumberBoxCase& c, std::ostream* os)
{
    *os << c.typed;
}

class NumberBoxTest : public ChapterListToolsTest, public testing::WithParamInterface<NumberBoxCase> {};

TEST_P(NumberBoxTest, HoldsA16BitNumber)
{
    auto* box = control<QLineEdit>("编辑框_间隔");
    box->clear();
    QTest::keyClicks(box, QString::fromUtf8(GetParam().typed));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->text(), GetParam().shownAfter);
    EXPECT_EQ(controls::numberValue(box), GetParam().value);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ListTools, NumberBoxTest, testing::Values(
    NumberBoxCase{"12", "12", 12},
    NumberBoxCase{"1a2b", "12", 12},  // letters cannot be typed
    NumberBoxCase{"99999", "32767", 32767},
    NumberBoxCase{"-40000", "-32768", -32768},
    NumberBoxCase{"0", "", 0},
    NumberBoxCase{"-", "", 0}
));
// clang-format on
