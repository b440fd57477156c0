#include "ui/RuleSettingsWindow.h"

#include "core/Text.h"
#include "ui/Controls.h"
#include "ui/QtText.h"

#include <QAction>
#include <QCloseEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>

namespace velmora {

using namespace controls;

namespace {

// Where the window shows each text field of a rule, in kRuleAttributes order
// (also the order the fields are made in, so the tab order): its caption
// label, then its box, one-line or several-line.
struct FieldLayout {
    RuleField field;
    const char* labelName;
    const char* caption;
    int labelX, y, labelWidth, labelHeight;
    const char* boxName;
    bool multiLine;
    int boxX, boxDrop, boxWidth, boxHeight;  // boxDrop: the box's top below the label's
};

// clang-format off
constexpr FieldLayout kFieldLayout[] = {
    {RuleField::siteAddress,        "标签_网址", "网址",                 141,  12, 32, 24, "编辑框_网址",         false, 176, 1, 218, 20},
    {RuleField::chapterListPattern, "标签2",     "章节列表\n正则表达式", 141,  38, 64, 50, "编辑框_列表正则",     true,  208, 0, 186, 50},
    {RuleField::novelNamePattern,   "标签3",     "小说名称\n正则表达式", 141,  93, 64, 50, "编辑框_小说名正则",   true,  208, 0, 186, 50},
    {RuleField::authorPattern,      "标签4",     "小说作者\n正则表达式", 141, 148, 64, 50, "编辑框_小说作者正则", true,  208, 0, 186, 50},
    {RuleField::contentLeftMarker,  "标签5",     "章节内容左侧",         141, 201, 78, 24, "编辑框_章节内容左",   false, 226, 2, 168, 20},
    {RuleField::contentRightMarker, "标签6",     "章节内容右侧",         141, 229, 78, 24, "编辑框_章节内容右",   false, 226, 3, 168, 20},
};
// clang-format on

static_assert(std::size(kFieldLayout) == kRuleTextFieldCount);
static_assert([] {
    for (std::size_t i = 0; i < kRuleTextFieldCount; ++i) {
        if (kFieldLayout[i].field != kRuleAttributes[i].field) {
            return false;
        }
    }
    return true;
}());

}  // namespace

RuleSettingsWindow::RuleSettingsWindow()
{
    setObjectName(QStringLiteral("RuleSettingsWindow"));
    setWindowTitle(QStringLiteral("规则设置"));
    setFixedSize(405, 301);

    ruleList_ = new QListWidget(this);
    ruleList_->setObjectName(QStringLiteral("列表框1"));
    ruleList_->setGeometry(8, 12, 128, 278);
    ruleList_->setSelectionMode(QAbstractItemView::SingleSelection);

    for (const FieldLayout& place : kFieldLayout) {
        label(this, place.labelName, QString::fromUtf8(place.caption), place.labelX, place.y, place.labelWidth,
              place.labelHeight);
        FieldBox& field = box(place.field);
        if (place.multiLine) {
            field.lines = multiLineEdit(this, place.boxName, place.boxX, place.y + place.boxDrop, place.boxWidth,
                                        place.boxHeight);
        } else {
            field.line = edit(this, place.boxName, QString(), place.boxX, place.y + place.boxDrop, place.boxWidth,
                              place.boxHeight);
        }
    }
    renameButton_ = button(this, "按钮_修改规则名", QStringLiteral("修改规则名"), 153, 259, 72, 32);
    addButton_ = button(this, "按钮_增加", QStringLiteral("增加"), 245, 259, 60, 32);
    deleteButton_ = button(this, "按钮_删除", QStringLiteral("删除"), 326, 259, 60, 32);

    connect(ruleList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) {
            emit ruleSelectedByUser(row);
        }
    });
    for (std::size_t i = 0; i < kRuleTextFieldCount; ++i) {
        const RuleField field = kRuleAttributes[i].field;
        const auto edited = [this, field] { emit fieldEdited(field); };
        if (boxes_[i].line != nullptr) {
            connect(boxes_[i].line, &QLineEdit::textChanged, this, edited);
        } else {
            connect(boxes_[i].lines, &QPlainTextEdit::textChanged, this, edited);
        }
    }

    // The further settings open from the rule list's context menu (or
    // Ctrl+M), so the window's own controls keep their places.
    auto* more = new QAction(QStringLiteral("更多设置..."), this);
    more->setObjectName(QStringLiteral("动作_更多设置"));
    more->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    more->setShortcutContext(Qt::WindowShortcut);
    addAction(more);
    ruleList_->setContextMenuPolicy(Qt::ActionsContextMenu);
    ruleList_->addAction(more);
    connect(more, &QAction::triggered, this, [this] {
        if (selectedIndex() >= 0) {
            emit moreSettingsRequested();
        }
    });
}

int RuleSettingsWindow::selectedIndex() const
{
    return ruleList_->currentRow();
}

void RuleSettingsWindow::selectQuietly(int index)
{
    const QSignalBlocker block(ruleList_);
    ruleList_->setCurrentRow(index);
}

namespace {

// A one-line field: its text as the user left it, or the stored value.
std::string fieldValue(const QLineEdit* e, const std::string& shown)
{
    return e->isModified() ? toGbk(e->text()) : shown;
}

// A several-line field. The box shows every stored line break as one of its
// own; the breaks the user's edit left alone go back in their stored form (a
// pattern ending in a lone CR keeps it), and a break the user typed counts as
// CR LF.
std::string fieldValue(const QPlainTextEdit* e, const std::string& shown)
{
    return e->document()->isModified() ? text::restoreLineBreaks(toGbk(e->toPlainText()), shown) : shown;
}

}  // namespace

RuleSettingsWindow::FieldBox& RuleSettingsWindow::box(RuleField field)
{
    return boxes_[static_cast<std::size_t>(field) - 1];
}

const RuleSettingsWindow::FieldBox& RuleSettingsWindow::box(RuleField field) const
{
    return boxes_[static_cast<std::size_t>(field) - 1];
}

std::string RuleSettingsWindow::fieldText(RuleField field) const
{
    const FieldBox& b = box(field);
    return b.line != nullptr ? fieldValue(b.line, b.shown) : fieldValue(b.lines, b.shown);
}

void RuleSettingsWindow::setFieldText(RuleField field, const std::string& value)
{
    FieldBox& b = box(field);
    b.shown = value;
    if (b.line != nullptr) {
        const QSignalBlocker block(b.line);
        b.line->setText(toQString(value));
        // A field filled by the program would otherwise show its end, cutting
        // off the first characters of a long marker.
        b.line->setCursorPosition(0);
    } else {
        const QSignalBlocker block(b.lines);
        b.lines->setPlainText(toQString(value));
    }
}

void RuleSettingsWindow::setFields(const SiteRule& rule)
{
    for (std::size_t i = 0; i < kRuleTextFieldCount; ++i) {
        setFieldText(kRuleAttributes[i].field, rule.*kRuleAttributes[i].text);
    }
}

void RuleSettingsWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

}  // namespace velmora
