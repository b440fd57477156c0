#include "ui/RuleBenchWindow.h"

#include "core/Encoding.h"
#include "core/Text.h"
#include "rules/RuleSharing.h"
#include "ui/PageBrowser.h"
#include "ui/Prompts.h"
#include "ui/QtText.h"
#include "ui/RuleEditor.h"
#include "ui/RuleSettingsWindow.h"
#include "web/PageDecoding.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

namespace velmora {
namespace {

constexpr int kPageLoadLimitMs = 30000;

QString utf8Text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

// Character positions (as the text view counts them) of the byte offsets of
// a GBK text: each character, one or two bytes, is one position, and so is a
// CR LF line break, which the view keeps as one.
class OffsetMap {
public:
    explicit OffsetMap(std::string_view gbk) : positions_(gbk.size() + 1, 0)
    {
        int position = 0;
        std::size_t i = 0;
        while (i < gbk.size()) {
            const std::size_t length = gbk.compare(i, 2, "\r\n") == 0 ? 2 : text::charLength(gbk, i);
            for (std::size_t k = 0; k < length && i + k < gbk.size(); ++k) {
                positions_[i + k] = position;
            }
            i += length;
            ++position;
        }
        positions_[gbk.size()] = position;
    }
    int operator()(std::size_t offset) const { return positions_[std::min(offset, positions_.size() - 1)]; }

private:
    std::vector<int> positions_;
};

QTextEdit::ExtraSelection mark(QPlainTextEdit* view, int begin, int end, const QColor& color)
{
    QTextEdit::ExtraSelection selection;
    selection.cursor = QTextCursor(view->document());
    selection.cursor.setPosition(begin);
    selection.cursor.setPosition(end, QTextCursor::KeepAnchor);
    selection.format.setBackground(color);
    return selection;
}

}  // namespace

RuleBenchWindow::RuleBenchWindow(const Sources& sources, QWidget* parent)
    : QWidget(parent, Qt::Window), sources_(sources)
{
    setObjectName(QStringLiteral("RuleBenchWindow"));
    setWindowTitle(QStringLiteral("规则测试"));
    resize(900, 720);

    address_ = new QLineEdit(this);
    address_->setObjectName(QStringLiteral("编辑框_测试网址"));
    row_ = new QSpinBox(this);
    row_->setObjectName(QStringLiteral("调节框_测试章节"));
    row_->setRange(1, 1);
    row_->setPrefix(QStringLiteral("第 "));
    row_->setSuffix(QStringLiteral(" 行"));
    row_->setToolTip(QStringLiteral("要测试的章节行"));
    testButton_ = new QPushButton(QStringLiteral("重新测试"), this);
    testButton_->setObjectName(QStringLiteral("按钮_重新测试"));
    cancelButton_ = new QPushButton(QStringLiteral("取消"), this);
    cancelButton_->setObjectName(QStringLiteral("按钮_取消测试"));
    suggestButton_ = new QPushButton(QStringLiteral("建议规则"), this);
    suggestButton_->setObjectName(QStringLiteral("按钮_建议规则"));
    adoptButton_ = new QPushButton(QStringLiteral("采用"), this);
    adoptButton_->setObjectName(QStringLiteral("按钮_采用建议"));
    adoptButton_->setToolTip(QStringLiteral("把建议的规则作为新规则加入规则文件"));
    state_ = new QLabel(this);
    state_->setObjectName(QStringLiteral("标签_测试状态"));

    reportView_ = new QPlainTextEdit(this);
    reportView_->setObjectName(QStringLiteral("编辑框_测试报告"));
    reportView_->setReadOnly(true);
    reportView_->setLineWrapMode(QPlainTextEdit::NoWrap);
    sourceChoice_ = new QComboBox(this);
    sourceChoice_->setObjectName(QStringLiteral("组合框_源码"));
    sourceChoice_->addItems(
        {QStringLiteral("列表页源码（章节列表匹配、书名、作者）"), QStringLiteral("章节页源码（左右标记）")});
    sourceView_ = new QPlainTextEdit(this);
    sourceView_->setObjectName(QStringLiteral("编辑框_页面源码"));
    sourceView_->setReadOnly(true);
    // Pages often stand on one line; wrapped, the marks stay in sight.
    sourceView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("网址"), this));
    top->addWidget(address_, 1);
    top->addWidget(row_);
    top->addWidget(testButton_);
    top->addWidget(cancelButton_);
    top->addWidget(suggestButton_);
    top->addWidget(adoptButton_);
    auto* sourcePane = new QWidget(this);
    auto* sourceLayout = new QVBoxLayout(sourcePane);
    sourceLayout->setContentsMargins(0, 0, 0, 0);
    sourceLayout->addWidget(sourceChoice_);
    sourceLayout->addWidget(sourceView_);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(reportView_);
    split->addWidget(sourcePane);
    split->setSizes({400, 280});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(state_);
    layout->addWidget(split, 1);

    connect(testButton_, &QPushButton::clicked, this, &RuleBenchWindow::runTest);
    connect(cancelButton_, &QPushButton::clicked, this, &RuleBenchWindow::cancel);
    connect(suggestButton_, &QPushButton::clicked, this, &RuleBenchWindow::runSuggestion);
    connect(adoptButton_, &QPushButton::clicked, this, &RuleBenchWindow::adoptSuggestion);
    connect(sourceChoice_, &QComboBox::currentIndexChanged, this, &RuleBenchWindow::showSource);
    connect(address_, &QLineEdit::returnPressed, this, &RuleBenchWindow::runTest);
    setBusy(false);
}

RuleBenchWindow::~RuleBenchWindow()
{
    cancel();
    joinWorker();
}

void RuleBenchWindow::openAndTest()
{
    address_->setText(sources_.listAddress->text());
    show();
    raise();
    activateWindow();
    runTest();
}

void RuleBenchWindow::openAndSuggest()
{
    address_->setText(sources_.listAddress->text());
    show();
    raise();
    activateWindow();
    runSuggestion();
}

void RuleBenchWindow::runTest()
{
    start(false);
}

void RuleBenchWindow::runSuggestion()
{
    start(true);
}

void RuleBenchWindow::cancel()
{
    cancel_ = true;
    if (pageWait_ != nullptr) {
        pageWait_->quit();  // the page under way is not waited for
    }
    if (sources_.browser != nullptr && busy()) {
        sources_.browser->stop();
    }
}

RuleUnderTest RuleBenchWindow::currentRule() const
{
    const RuleSettingsWindow* s = sources_.settings;
    return {{s->novelNamePattern(), s->authorPattern(), s->chapterListPattern()},
            {s->contentLeftMarker(), s->contentRightMarker()},
            sources_.pageCapture->isChecked(),
            s->ruleOptions()};
}

std::string RuleBenchWindow::address() const
{
    return toGbk(address_->text().trimmed());
}

void RuleBenchWindow::joinWorker()
{
    if (worker_.joinable()) {
        worker_.join();
    }
}

void RuleBenchWindow::start(bool suggest)
{
    if (busy()) {
        return;
    }
    joinWorker();
    if (!sources_.settings->isEnabled()) {
        // A retrieval or download holds the rule and the browser.
        state_->setText(QStringLiteral("下载进行中，结束后再测试"));
        return;
    }
    const std::string listAddress = address();
    const RuleUnderTest rule = currentRule();
    const int row = row_->value();
    cancel_ = false;
    finished_ = false;
    setBusy(true);
    state_->setText(suggest ? QStringLiteral("正在分析页面并试用建议的规则…") : QStringLiteral("正在测试…"));
    QPointer<RuleBenchWindow> self(this);
    worker_ = std::thread([this, self, listAddress, rule, row, suggest] {
        std::optional<RuleSuggestion> suggestion;
        RuleUnderTest tried = rule;
        if (suggest) {
            suggestion = suggestRule(listAddress, &cancel_);
            tried = suggestion->rule;
        }
        auto report = std::make_shared<RuleTestReport>();
        if (tried.pageCapture && !suggest) {
            // The chapter page is read by the browser on the window thread,
            // once the list part is back.
            report->listPage = fetchTestedPage(listAddress, &cancel_, tried.options);
            report->cancelled = cancel_.load();
            if (!report->cancelled) {
                checkListPage(*report, tried);
            }
        } else {
            *report = testRule(listAddress, tried, row, &cancel_);
        }
        QMetaObject::invokeMethod(
            self.data(),
            [this, report, suggestion, tried] {
                tested_ = tried;
                showResult(report, suggestion);
            },
            Qt::QueuedConnection);
    });
}

void RuleBenchWindow::showResult(std::shared_ptr<RuleTestReport> report, std::optional<RuleSuggestion> suggestion)
{
    report_ = std::move(report);
    suggestion_ = std::move(suggestion);
    if (tested_.pageCapture && !suggestion_ && !report_->cancelled && report_->list.rows > 0) {
        captureChapter(tested_);
    }
    finished_ = true;
    joinWorker();
    setBusy(false);
    row_->setRange(1, std::max(1, report_->list.rows));

    std::string text;
    if (suggestion_) {
        text += "建议的规则\n" + suggestionText(*suggestion_) + "\n试用结果\n";
    }
    text += reportText(*report_);
    reportView_->setPlainText(utf8Text(text));
    state_->setText(report_->cancelled  ? QStringLiteral("已取消")
                    : report_->passed() ? QStringLiteral("通过")
                                        : QStringLiteral("有问题，见报告末尾"));
    adoptButton_->setEnabled(suggestion_ && suggestion_->complete());
    showSource();
    emit finished();
}

void RuleBenchWindow::captureChapter(const RuleUnderTest& rule)
{
    const int row = std::min(row_->value(), report_->list.rows);
    const ListRowView& chosen = report_->list.rowViews[static_cast<std::size_t>(row) - 1];
    state_->setText(QStringLiteral("正在用浏览器读取章节页…"));
    // The browser is the download's too: no retrieval or download may start
    // while the bench holds it.
    QWidget* main = sources_.listAddress->window();
    std::vector<QPointer<QPushButton>> held;
    for (const char* name : {"按钮_获取章节标题", "按钮_下载章节内容"}) {
        auto* button = main->findChild<QPushButton*>(QString::fromUtf8(name));
        if (button != nullptr && button->isEnabled()) {
            button->setEnabled(false);
            held.emplace_back(button);
        }
    }
    std::string text;
    bool loaded = false;
    const auto started = std::chrono::steady_clock::now();
    if (sources_.browser->navigate(chosen.fullAddress)) {
        QEventLoop waiting;
        const auto done = connect(sources_.browser, &PageBrowser::pageLoaded, &waiting, [&] {
            loaded = true;
            waiting.quit();
        });
        QTimer::singleShot(kPageLoadLimitMs, &waiting, &QEventLoop::quit);
        pageWait_ = &waiting;
        if (!cancel_) {
            waiting.exec();
        }
        pageWait_ = nullptr;
        disconnect(done);
        if (loaded && !cancel_) {
            text = ConvertIfUtf8(sources_.browser->CapturePageText(sources_.document));
        } else {
            sources_.browser->stop();
        }
    }
    for (const QPointer<QPushButton>& button : held) {
        if (button) {
            button->setEnabled(true);
        }
    }
    if (cancel_) {
        report_->cancelled = true;
        return;
    }
    TestedPage page = capturedTestedPage(chosen.fullAddress, std::move(text));
    page.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    checkChapterPage(*report_, rule, chosen, std::move(page));
}

void RuleBenchWindow::showSource()
{
    sourceView_->setExtraSelections({});
    if (!report_) {
        sourceView_->clear();
        return;
    }
    QList<QTextEdit::ExtraSelection> marks;
    const bool listPage = sourceChoice_->currentIndex() == 0;
    const std::string& page = listPage ? report_->listPage.text : report_->chapter.page.text;
    sourceView_->setPlainText(toQString(page));
    const OffsetMap at(page);
    const auto add = [&](std::size_t begin, std::size_t end, const QColor& color) {
        if (end > begin) {
            marks.push_back(mark(sourceView_, at(begin), at(end), color));
        }
    };
    if (listPage) {
        for (const auto& [begin, end] : report_->list.matchRanges) {
            add(begin, end, QColor(255, 236, 150));
        }
        for (const PatternCheck* check : {&report_->novelName, &report_->author}) {
            if (check->matched) {
                add(check->begin, check->end, QColor(170, 225, 170));
            }
        }
    } else {
        const ChapterCheck& chapter = report_->chapter;
        if (chapter.left.found) {
            add(chapter.left.begin, chapter.left.end, QColor(255, 190, 120));
            const std::size_t textEnd = chapter.right.found ? chapter.right.begin : page.size();
            add(chapter.left.end, textEnd, QColor(225, 235, 255));
        }
        if (chapter.right.found) {
            add(chapter.right.begin, chapter.right.end, QColor(255, 190, 120));
        }
    }
    sourceView_->setExtraSelections(marks);
    if (!marks.isEmpty()) {
        QTextCursor cursor(sourceView_->document());
        cursor.setPosition(marks.front().cursor.selectionStart());
        sourceView_->setTextCursor(cursor);
        sourceView_->centerCursor();
    }
}

void RuleBenchWindow::setBusy(bool busy)
{
    testButton_->setEnabled(!busy);
    suggestButton_->setEnabled(!busy);
    cancelButton_->setEnabled(busy);
    adoptButton_->setEnabled(!busy && suggestion_ && suggestion_->complete());
}

bool RuleBenchWindow::adoptSuggestion()
{
    if (!suggestion_ || !suggestion_->complete() || busy()) {
        return false;
    }
    if (sources_.editor->isAdding()) {
        TimedMessageBox(QStringLiteral("规则测试"), QStringLiteral("请先完成或取消正在增加的规则"), 0, styleError);
        return false;
    }
    SiteRule rule;
    rule.name = suggestion_->name;
    rule.siteAddress = suggestion_->siteAddress;
    rule.chapterListPattern = suggestion_->rule.patterns.chapterList;
    rule.novelNamePattern = suggestion_->rule.patterns.novelName;
    rule.authorPattern = suggestion_->rule.patterns.author;
    rule.contentLeftMarker = suggestion_->rule.markers.left;
    rule.contentRightMarker = suggestion_->rule.markers.right;
    const ShareResult added = addRuleUnderFreeName(sources_.rules, rule);
    if (!added.ok) {
        TimedMessageBox(QStringLiteral("规则测试"), utf8Text(added.message), 0, styleError);
        return false;
    }
    QListWidget* list = sources_.settings->ruleList();
    list->addItem(toQString(added.names.front()));
    list->setCurrentRow(list->count() - 1);  // loads the new rule's fields as a user's choice does
    state_->setText(utf8Text(added.message));
    return true;
}

void RuleBenchWindow::closeEvent(QCloseEvent* event)
{
    cancel();
    QWidget::closeEvent(event);
}

void exportRulesFromWindow(const RuleStore& rules, RuleSettingsWindow* settings, bool all, const QString& file)
{
    const int selected = settings->selectedIndex();
    std::vector<int> positions;
    if (!all) {
        if (selected < 0) {
            TimedMessageBox(QStringLiteral("导出规则"), QStringLiteral("请先选择一条规则"), 0, styleError);
            return;
        }
        positions.push_back(selected + 1);
    }
    const ShareResult result = exportRules(rules, positions, file.toStdU16String());
    TimedMessageBox(QStringLiteral("导出规则"), utf8Text(result.message), result.ok ? 3000 : 0,
                    result.ok ? styleInformation : styleError);
}

void importRulesFromWindow(const RuleStore& rules, RuleSettingsWindow* settings, RuleEditor* editor,
                           const QString& file)
{
    if (editor->isAdding()) {
        // The new rule waits as the list's last item; imported ones would
        // come after it in the list but before it in the file.
        TimedMessageBox(QStringLiteral("导入规则"), QStringLiteral("请先完成或取消正在增加的规则"), 0, styleError);
        return;
    }
    const ShareResult result = importRules(rules, file.toStdU16String());
    if (result.ok) {
        for (const std::string& name : result.names) {
            settings->ruleList()->addItem(toQString(name));
        }
    }
    TimedMessageBox(QStringLiteral("导入规则"), utf8Text(result.message), result.ok ? 3000 : 0,
                    result.ok ? styleInformation : styleError);
}

RuleBenchWindow* installRuleBench(const RuleBenchWindow::Sources& sources, QWidget* mainWindow)
{
    auto* bench = new RuleBenchWindow(sources, mainWindow);
    RuleSettingsWindow* settings = sources.settings;
    const auto openBench = [bench] { bench->openAndTest(); };
    for (QWidget* window : {static_cast<QWidget*>(settings), mainWindow}) {
        auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Ctrl+T")), window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, bench, openBench);
    }
    QListWidget* list = settings->ruleList();
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, bench, [=](const QPoint& at) {
        QMenu menu(list);
        menu.addAction(QStringLiteral("测试规则\tCtrl+T"), bench, openBench);
        menu.addAction(QStringLiteral("建议规则"), bench, [bench] { bench->openAndSuggest(); });
        menu.addSeparator();
        const auto exportTo = [=](bool all) {
            const QString file = QFileDialog::getSaveFileName(settings, QStringLiteral("导出规则"), QString(),
                                                              QStringLiteral("规则文件 (*.xml)"));
            if (!file.isEmpty()) {
                exportRulesFromWindow(sources.rules, settings, all, file);
            }
        };
        menu.addAction(QStringLiteral("导出所选规则…"), bench, [=] { exportTo(false); })
            ->setEnabled(settings->selectedIndex() >= 0);
        menu.addAction(QStringLiteral("导出全部规则…"), bench, [=] { exportTo(true); });
        menu.addAction(QStringLiteral("导入规则…"), bench, [=] {
            const QString file = QFileDialog::getOpenFileName(settings, QStringLiteral("导入规则"), QString(),
                                                              QStringLiteral("规则文件 (*.xml);;所有文件 (*)"));
            if (!file.isEmpty()) {
                importRulesFromWindow(sources.rules, settings, sources.editor, file);
            }
        });
        menu.exec(list->mapToGlobal(at));
    });
    return bench;
}

}  // namespace velmora
