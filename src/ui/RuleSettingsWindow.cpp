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

RuleSettingsWindow::RuleSettingsWindow()
{
    setObjectName(QStringLiteral("RuleSettingsWindow"));
    setWindowTitle(QStringLiteral("规则设置"));
    setFixedSize(405, 301);

    ruleList_ = new QListWidget(this);
    ruleList_->setObjectName(QStringLiteral("列表框1"));
    ruleList_->setGeometry(8, 12, 128, 278);
    ruleList_->setSelectionMode(QAbstractItemView::SingleSelection);

    label(this, "标签_网址", QStringLiteral("网址"), 141, 12, 32, 24);
    siteAddress_ = edit(this, "编辑框_网址", QString(), 176, 13, 218, 20);
    label(this, "标签2", QStringLiteral("章节列表\n正则表达式"), 141, 38, 64, 50);
    chapterListPattern_ = multiLineEdit(this, "编辑框_列表正则", 208, 38, 186, 50);
    label(this, "标签3", QStringLiteral("小说名称\n正则表达式"), 141, 93, 64, 50);
    novelNamePattern_ = multiLineEdit(this, "编辑框_小说名正则", 208, 93, 186, 50);
    label(this, "标签4", QStringLiteral("小说作者\n正则表达式"), 141, 148, 64, 50);
    authorPattern_ = multiLineEdit(this, "编辑框_小说作者正则", 208, 148, 186, 50);
    label(this, "标签5", QStringLiteral("章节内容左侧"), 141, 201, 78, 24);
    contentLeftMarker_ = edit(this, "编辑框_章节内容左", QString(), 226, 203, 168, 20);
    label(this, "标签6", QStringLiteral("章节内容右侧"), 141, 229, 78, 24);
    contentRightMarker_ = edit(this, "编辑框_章节内容右", QString(), 226, 232, 168, 20);
    renameButton_ = button(this, "按钮_修改规则名", QStringLiteral("修改规则名"), 153, 259, 72, 32);
    addButton_ = button(this, "按钮_增加", QStringLiteral("增加"), 245, 259, 60, 32);
    deleteButton_ = button(this, "按钮_删除", QStringLiteral("删除"), 326, 259, 60, 32);

    connect(ruleList_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) {
            emit ruleSelectedByUser(row);
        }
    });
    const auto edited = [this](RuleField field) { return [this, field] { emit fieldEdited(field); }; };
    connect(siteAddress_, &QLineEdit::textChanged, this, edited(RuleField::siteAddress));
    connect(chapterListPattern_, &QPlainTextEdit::textChanged, this, edited(RuleField::chapterListPattern));
    connect(novelNamePattern_, &QPlainTextEdit::textChanged, this, edited(RuleField::novelNamePattern));
    connect(authorPattern_, &QPlainTextEdit::textChanged, this, edited(RuleField::authorPattern));
    connect(contentLeftMarker_, &QLineEdit::textChanged, this, edited(RuleField::contentLeftMarker));
    connect(contentRightMarker_, &QLineEdit::textChanged, this, edited(RuleField::contentRightMarker));

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

// Shows the start of each field's text: a field filled by the program would
// otherwise show its end, cutting off the first characters of a long marker.
void showStart(std::initializer_list<QLineEdit*> fields)
{
    for (QLineEdit* field : fields) {
        field->setCursorPosition(0);
    }
}

}  // namespace

std::string RuleSettingsWindow::siteAddress() const
{
    return fieldValue(siteAddress_, shown_[0]);
}
std::string RuleSettingsWindow::chapterListPattern() const
{
    return fieldValue(chapterListPattern_, shown_[1]);
}
std::string RuleSettingsWindow::novelNamePattern() const
{
    return fieldValue(novelNamePattern_, shown_[2]);
}
std::string RuleSettingsWindow::authorPattern() const
{
    return fieldValue(authorPattern_, shown_[3]);
}
std::string RuleSettingsWindow::contentLeftMarker() const
{
    return fieldValue(contentLeftMarker_, shown_[4]);
}
std::string RuleSettingsWindow::contentRightMarker() const
{
    return fieldValue(contentRightMarker_, shown_[5]);
}

void RuleSettingsWindow::setFields(const std::string& siteAddress, const std::string& chapterListPattern,
                                   const std::string& novelNamePattern, const std::string& authorPattern,
                                   const std::string& contentLeftMarker, const std::string& contentRightMarker)
{
    shown_ = {siteAddress, chapterListPattern, novelNamePattern, authorPattern, contentLeftMarker, contentRightMarker};
    const QSignalBlocker b1(siteAddress_);
    const QSignalBlocker b2(chapterListPattern_);
    const QSignalBlocker b3(novelNamePattern_);
    const QSignalBlocker b4(authorPattern_);
    const QSignalBlocker b5(contentLeftMarker_);
    const QSignalBlocker b6(contentRightMarker_);
    siteAddress_->setText(toQString(siteAddress));
    chapterListPattern_->setPlainText(toQString(chapterListPattern));
    novelNamePattern_->setPlainText(toQString(novelNamePattern));
    authorPattern_->setPlainText(toQString(authorPattern));
    contentLeftMarker_->setText(toQString(contentLeftMarker));
    contentRightMarker_->setText(toQString(contentRightMarker));
    showStart({siteAddress_, contentLeftMarker_, contentRightMarker_});
}

void RuleSettingsWindow::setSiteAddress(const std::string& siteAddress)
{
    shown_[0] = siteAddress;
    const QSignalBlocker block(siteAddress_);
    siteAddress_->setText(toQString(siteAddress));
    showStart({siteAddress_});
}

void RuleSettingsWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

}  // namespace velmora
