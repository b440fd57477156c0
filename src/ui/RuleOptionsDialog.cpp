#include "ui/RuleOptionsDialog.h"

#include "ui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>

namespace velmora {
namespace {

constexpr PageEncoding kEncodings[] = {PageEncoding::automatic, PageEncoding::gbk, PageEncoding::utf8,
                                       PageEncoding::big5};

QPlainTextEdit* linesEdit(QWidget* parent, const char* name, const std::vector<std::string>& lines)
{
    auto* edit = new QPlainTextEdit(parent);
    edit->setObjectName(QString::fromUtf8(name));
    edit->setFixedHeight(54);
    QStringList shown;
    for (const std::string& line : lines) {
        shown << toQString(line);
    }
    edit->setPlainText(shown.join(QLatin1Char('\n')));
    return edit;
}

std::vector<std::string> linesOf(const QPlainTextEdit* edit)
{
    std::vector<std::string> lines;
    for (const QString& line : edit->toPlainText().split(QLatin1Char('\n'))) {
        if (!line.isEmpty()) {
            lines.push_back(toGbk(line));
        }
    }
    return lines;
}

}  // namespace

RuleOptionsDialog::RuleOptionsDialog(const QString& ruleName, const RuleOptions& options, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("RuleOptionsDialog"));
    setWindowTitle(QStringLiteral("更多设置 - ") + ruleName);
    auto* form = new QFormLayout(this);

    encoding_ = new QComboBox(this);
    encoding_->setObjectName(QStringLiteral("网页编码"));
    encoding_->addItems(
        {QStringLiteral("自动"), QStringLiteral("GBK/GB18030"), QStringLiteral("UTF-8"), QStringLiteral("Big5")});
    for (int i = 0; i < 4; ++i) {
        if (kEncodings[i] == options.pageEncoding) {
            encoding_->setCurrentIndex(i);
        }
    }
    form->addRow(QStringLiteral("网页编码"), encoding_);

    removeRepeats_ = new QCheckBox(QStringLiteral("去掉目录中重复的章节"), this);
    removeRepeats_->setObjectName(QStringLiteral("去重"));
    removeRepeats_->setChecked(options.removeRepeatedLinks);
    form->addRow(QString(), removeRepeats_);
    reverseList_ = new QCheckBox(QStringLiteral("目录倒序（网站把最新章节列在最前）"), this);
    reverseList_->setObjectName(QStringLiteral("目录倒序"));
    reverseList_->setChecked(options.reverseList);
    form->addRow(QString(), reverseList_);

    nextListPage_ = new QLineEdit(toQString(options.nextListPagePattern), this);
    nextListPage_->setObjectName(QStringLiteral("目录下一页"));
    nextListPage_->setToolTip(QStringLiteral("正则表达式，第1组是目录下一页的网址；留空则只读一页"));
    form->addRow(QStringLiteral("目录下一页"), nextListPage_);
    nextChapterPage_ = new QLineEdit(toQString(options.nextChapterPagePattern), this);
    nextChapterPage_->setObjectName(QStringLiteral("章节下一页"));
    nextChapterPage_->setToolTip(QStringLiteral("正则表达式，第1组是章节下一页的网址；留空则每章一页"));
    form->addRow(QStringLiteral("章节下一页"), nextChapterPage_);

    maxParallel_ = new QSpinBox(this);
    maxParallel_->setObjectName(QStringLiteral("最大并发"));
    maxParallel_->setRange(0, kMaxRuleConcurrency);
    maxParallel_->setSpecialValueText(QStringLiteral("不限（程序默认）"));
    maxParallel_->setValue(options.maxConcurrency);
    form->addRow(QStringLiteral("最大并发"), maxParallel_);
    intervalMs_ = new QSpinBox(this);
    intervalMs_->setObjectName(QStringLiteral("请求间隔毫秒"));
    intervalMs_->setRange(0, kMaxRuleIntervalMs);
    intervalMs_->setSingleStep(100);
    intervalMs_->setSuffix(QStringLiteral(" 毫秒"));
    intervalMs_->setToolTip(QStringLiteral("两次请求之间至少间隔的时间，另加最多一半的随机时间"));
    intervalMs_->setValue(options.minIntervalMs);
    form->addRow(QStringLiteral("请求间隔"), intervalMs_);

    blockTexts_ = linesEdit(this, "拦截页文字", options.blockPageTexts);
    blockTexts_->setToolTip(QStringLiteral("每行一段文字；页面含有其一即视为拦截页，稍后重试"));
    form->addRow(QStringLiteral("拦截页文字"), blockTexts_);
    removeTexts_ = linesEdit(this, "去除文字", options.removeTexts);
    removeTexts_->setToolTip(QStringLiteral("每行一段文字，从每章正文中去掉（如网站水印）"));
    form->addRow(QStringLiteral("去除文字"), removeTexts_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

RuleOptions RuleOptionsDialog::options() const
{
    RuleOptions options;
    options.pageEncoding = kEncodings[std::max(0, encoding_->currentIndex())];
    options.removeRepeatedLinks = removeRepeats_->isChecked();
    options.reverseList = reverseList_->isChecked();
    options.nextListPagePattern = toGbk(nextListPage_->text());
    options.nextChapterPagePattern = toGbk(nextChapterPage_->text());
    options.maxConcurrency = maxParallel_->value();
    options.minIntervalMs = intervalMs_->value();
    options.blockPageTexts = linesOf(blockTexts_);
    options.removeTexts = linesOf(removeTexts_);
    return options;
}

}  // namespace velmora
