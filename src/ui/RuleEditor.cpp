#include "ui/RuleEditor.h"

#include "core/Text.h"
#include "rules/RulesXml.h"
#include "ui/Prompts.h"
#include "ui/QtText.h"
#include "ui/RuleSettingsWindow.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace velmora {
namespace {

const QString kAdd = QStringLiteral("增加");
const QString kConfirmAdd = QStringLiteral("确认增加");

// The list item of a new rule keeps the index of the rule selected before.
constexpr int kPreviousIndexRole = Qt::UserRole;

// A name typed by the user, with every ASCII and full-width space removed.
std::string cleanName(const QString& typed)
{
    return text::removeSpaces(toGbk(typed));
}

void showUnusableName()
{
    TimedMessageBox(QStringLiteral("提示"),
                    QStringLiteral("规则名称不能含有空格、引号及 < > / & = 等字符\r\n(3秒后自动关闭)"), 3000,
                    styleError);
}

}  // namespace

void RuleEditor::noteSave(RuleChange change)
{
    if (change == RuleChange::saved) {
        saveFailureShown_ = false;
        return;
    }
    if (change == RuleChange::notSaved && !saveFailureShown_) {
        saveFailureShown_ = true;
        const QString file = QString::fromStdString(rules_.file().filename().string());
        TimedMessageBox(QStringLiteral("提示"),
                        QStringLiteral("规则保存失败：无法写入") + file + QStringLiteral("\r\n(3秒后自动关闭)"), 3000,
                        styleError);
    }
}

RuleEditor::RuleEditor(const RuleStore& rules, RuleSettingsWindow* window, QCheckBox* pageCapture, QObject* parent)
    : QObject(parent), rules_(rules), window_(window), pageCapture_(pageCapture)
{
    connect(window_, &RuleSettingsWindow::fieldEdited, this, &RuleEditor::writeField);
    connect(window_->addButton(), &QPushButton::clicked, this, &RuleEditor::add);
    connect(window_->renameButton(), &QPushButton::clicked, this, &RuleEditor::rename);
    connect(window_->deleteButton(), &QPushButton::clicked, this, &RuleEditor::remove);
}

bool RuleEditor::isAdding() const
{
    return window_->addButton()->text() == kConfirmAdd;
}

void RuleEditor::writeField(RuleField field)
{
    SiteRule values;
    switch (field) {
    case RuleField::siteAddress:
        values.siteAddress = window_->siteAddress();
        break;
    case RuleField::chapterListPattern:
        values.chapterListPattern = window_->chapterListPattern();
        break;
    case RuleField::novelNamePattern:
        values.novelNamePattern = window_->novelNamePattern();
        break;
    case RuleField::authorPattern:
        values.authorPattern = window_->authorPattern();
        break;
    case RuleField::contentLeftMarker:
        values.contentLeftMarker = window_->contentLeftMarker();
        break;
    case RuleField::contentRightMarker:
        values.contentRightMarker = window_->contentRightMarker();
        break;
    case RuleField::name:
    case RuleField::pageCapture:
    case RuleField::options:
        return;
    }
    // While a new rule waits for confirmation its position names no rule in
    // the file, so nothing is written.
    noteSave(rules_.updateRule(window_->selectedIndex() + 1, {field}, values));
}

void RuleEditor::writePageCapture(bool checked)
{
    SiteRule values;
    values.pageCapture = checked;
    noteSave(rules_.updateRule(window_->selectedIndex() + 1, {RuleField::pageCapture}, values));
}

void RuleEditor::setRuleControlsEnabled(bool enabled)
{
    window_->ruleList()->setEnabled(enabled);
    window_->renameButton()->setEnabled(enabled);
    window_->deleteButton()->setEnabled(enabled);
}

void RuleEditor::add()
{
    if (isAdding()) {
        confirmNewRule();
    } else {
        askForNewName();
    }
}

void RuleEditor::askForNewName()
{
    setRuleControlsEnabled(false);
    QString typed;
    if (!InputBox(QStringLiteral("请输入新的规则名称：\r\n（不含空格）"), QStringLiteral("输入名称"),
                  QStringLiteral("新规则名称"), typed, inputAnyText, window_)) {
        setRuleControlsEnabled(true);
        return;
    }
    const std::string name = cleanName(typed);
    if (name.empty()) {
        setRuleControlsEnabled(true);
        return;
    }
    if (!isUsableXmlName(name)) {
        // Refused now, before the user types fields that could never be saved.
        showUnusableName();
        setRuleControlsEnabled(true);
        return;
    }
    QListWidget* list = window_->ruleList();
    auto* item = new QListWidgetItem(toQString(name));
    item->setData(kPreviousIndexRole, window_->selectedIndex());
    list->addItem(item);
    window_->selectQuietly(list->count() - 1);
    // The other fields stay as a template taken from the rule selected before.
    window_->setSiteAddress({});
    window_->addButton()->setText(kConfirmAdd);
}

void RuleEditor::confirmNewRule()
{
    const int answer = TimedMessageBox(
        QStringLiteral("确认提醒"),
        QStringLiteral("请确认是否增加规则\r\n确认请点击\"是\"\r\n取消请点击\"否\"\r\n返回重新修改请点击\"取消\"\r\n"
                       "5秒后自动返回重新修改"),
        5000, styleYesNoCancel);
    if (answer == resultNo) {
        dropNewRule();
        return;
    }
    if (answer != resultYes) {
        return;  // Cancel, time-out or no box: the user goes on editing
    }
    QListWidget* list = window_->ruleList();
    SiteRule rule;
    rule.name = toGbk(list->item(list->count() - 1)->text());
    rule.siteAddress = window_->siteAddress();
    rule.chapterListPattern = window_->chapterListPattern();
    rule.novelNamePattern = window_->novelNamePattern();
    rule.authorPattern = window_->authorPattern();
    rule.contentLeftMarker = window_->contentLeftMarker();
    rule.contentRightMarker = window_->contentRightMarker();
    rule.pageCapture = pageCapture_->isChecked();
    const RuleChange change = rules_.appendRule(rule);
    noteSave(change);
    if (!change) {
        // Not in the file, so not in the list either: the list's positions
        // must stay the file's.
        if (!isUsableXmlName(rule.name)) {
            showUnusableName();
        }
        dropNewRule();
        return;
    }
    window_->selectQuietly(list->count() - 1);
    window_->addButton()->setText(kAdd);
    setRuleControlsEnabled(true);
}

void RuleEditor::dropNewRule()
{
    QListWidget* list = window_->ruleList();
    const int previous = list->item(list->count() - 1)->data(kPreviousIndexRole).toInt();
    {
        const QSignalBlocker block(list);
        delete list->takeItem(list->count() - 1);
    }
    window_->selectQuietly(previous);
    window_->addButton()->setText(kAdd);
    setRuleControlsEnabled(true);
    emit selectionMoved();
}

void RuleEditor::rename()
{
    window_->ruleList()->setEnabled(false);
    window_->addButton()->setEnabled(false);
    window_->deleteButton()->setEnabled(false);

    const int answer = TimedMessageBox(
        QStringLiteral("修改询问"),
        QStringLiteral("是否修改规则名？\r\n修改请点击\"是\"\r\n不修改请点击\"否\"\r\n5秒后自动返回不修改规则名"), 5000,
        styleYesNo);
    QListWidgetItem* item = window_->ruleList()->currentItem();
    QString typed;
    if (answer == resultYes && item != nullptr
        && InputBox(QStringLiteral("请输入新的规则名称："), QStringLiteral("修改规则名称"),
                    item->text() + QStringLiteral("1"), typed, inputAnyText, window_)) {
        SiteRule values;
        values.name = cleanName(typed);
        if (!values.name.empty() && values.name != toGbk(item->text())) {
            const RuleChange change = rules_.updateRule(window_->selectedIndex() + 1, {RuleField::name}, values);
            noteSave(change);
            if (change) {
                item->setText(toQString(values.name));
            } else if (!isUsableXmlName(values.name)) {
                showUnusableName();
            }
        }
    }

    window_->ruleList()->setEnabled(true);
    window_->addButton()->setEnabled(true);
    window_->deleteButton()->setEnabled(true);
}

void RuleEditor::remove()
{
    QListWidget* list = window_->ruleList();
    if (list->count() == 1) {
        TimedMessageBox(QStringLiteral("删除提示"), QStringLiteral("老大,要不要这么狠?留条活命吧!"), 3000, styleError);
        return;
    }
    const int selected = window_->selectedIndex();
    const RuleChange change = rules_.deleteRule(selected + 1);
    if (!change) {
        TimedMessageBox(QStringLiteral("删除提示"), QStringLiteral("删除失败，请重试!"), 3000, styleInformation);
        return;
    }
    noteSave(change);
    {
        const QSignalBlocker block(list);
        delete list->takeItem(selected);
    }
    window_->selectQuietly(selected > 0 ? selected - 1 : 0);
    emit selectionMoved();
}

}  // namespace velmora
