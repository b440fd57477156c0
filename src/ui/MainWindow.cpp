#include "ui/MainWindow.h"

#include "core/ProgramGlobals.h"
#include "core/Settings.h"
#include "job/ChapterFiles.h"
#include "ui/ChapterListTools.h"
#include "ui/ChapterRows.h"
#include "ui/Controls.h"
#include "ui/NovelJob.h"
#include "ui/PageBrowser.h"
#include "ui/Prompts.h"
#include "ui/QtText.h"
#include "ui/RuleBenchWindow.h"
#include "ui/RuleEditor.h"
#include "ui/RuleOptionsDialog.h"
#include "ui/RuleSettingsWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>

#include <filesystem>

namespace velmora {

using namespace controls;

namespace {

// The default address: a chapter list on the site of the first default rule.
const QString kStartAddress = QStringLiteral("http://www.kanshu58.example/book/1024/");

// The first installed face of `candidates`, at `pixels` high.
QFont cjkFont(std::initializer_list<QString> candidates, int pixels)
{
    QFont font;
    const QStringList families = QFontDatabase::families();
    for (const QString& candidate : candidates) {
        if (families.contains(candidate)) {
            font.setFamily(candidate);
            break;
        }
    }
    font.setPixelSize(pixels);
    return font;
}

// A Song-style face for the chapter list, 14 pixels high.
QFont listFont()
{
    return cjkFont({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC"),
                    QStringLiteral("Noto Sans CJK SC")},
                   14);
}

}  // namespace

MainWindow::MainWindow(ProgramGlobals& globals)
{
    setObjectName(QStringLiteral("MainWindow"));
    setWindowTitle(QStringLiteral("Velmora V1.4.9.1 By：Tamsk"));
    setFixedSize(700, 527);
    move(50, 50);
    // The fixed layout is drawn for a 12-pixel interface face.
    setFont(cjkFont({QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC")}, 12));
    ruleSettings_ = new RuleSettingsWindow();
    ruleSettings_->setFont(font());
    buildControls();
    placeRuleSettings();

    const NovelJob::Controls controls{
        listAddress_, status_,          chapters_,       novelName_,     author_,          relativeAddress_,
        lastRow_,     fetchListButton_, downloadButton_, pauseButton_,   stopButton_,      autoMerge_,
        pageCapture_, mergeButton_,     ruleSettings_,   rowToolsPanel_, newChaptersOnly_, alsoEpub_};
    browser_ = new PageBrowser(this);
    job_ = new NovelJob(controls, {globals.workerPool(), globals.failedCount(), globals.currentDocument(), *browser_},
                        this);
    connect(fetchListButton_, &QPushButton::clicked, job_, &NovelJob::startChapterListFetch);
    connect(downloadButton_, &QPushButton::clicked, job_, &NovelJob::downloadChapters);
    connect(pauseButton_, &QPushButton::clicked, job_, &NovelJob::pauseOrContinue);
    connect(stopButton_, &QPushButton::clicked, job_, &NovelJob::stop);
    connect(mergeButton_, &QPushButton::clicked, job_, &NovelJob::mergeButtonClicked);
    connect(chapters_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int column) { openChapter(chapters_->indexOfTopLevelItem(item), column); });
    connect(exitButton_, &QPushButton::clicked, this, &MainWindow::exitProgram);
    startUp();
    ruleBench_ = installRuleBench(
        {rules_, ruleSettings_, ruleEditor_, listAddress_, pageCapture_, browser_, globals.currentDocument()}, this);
}

MainWindow::~MainWindow()
{
    delete ruleSettings_;
}

void MainWindow::buildControls()
{
    label(this, "标签1", QStringLiteral("章节列表网址："), 13, 5, 80, 24);
    listAddress_ = edit(this, "编辑框_章节列表网址", kStartAddress, 101, 8, 392, 20);
    status_ = label(this, "标签4", QString(), 21, 31, 464, 25);
    status_->setStyleSheet(QStringLiteral("color: red;"));

    chapters_ = new ChapterListView(this);
    chapters_->setObjectName(QStringLiteral("超级列表框1"));
    chapters_->setGeometry(13, 61, 480, 312);
    chapters_->setRootIsDecorated(false);
    chapters_->setUniformRowHeights(true);
    chapters_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    chapters_->setFont(listFont());
    chapters_->setColumnCount(4);
    chapters_->setHeaderLabels(
        {QStringLiteral("选择"), QStringLiteral("章节名"), QStringLiteral("章节网址"), QStringLiteral("下载状态")});
    chapters_->setColumnWidth(0, 70);
    chapters_->setColumnWidth(1, 300);
    chapters_->setColumnHidden(2, true);  // the address is kept, not shown
    chapters_->setColumnWidth(3, 80);
    chapters_->headerItem()->setTextAlignment(3, Qt::AlignCenter);

    chooseRuleButton_ = button(this, "按钮_选择规则", QStringLiteral("规则设定>>>>"), 520, 9, 150, 32);
    fetchListButton_ = button(this, "按钮_获取章节标题", QStringLiteral("获取章节标题"), 520, 53, 150, 32);

    QGroupBox* work = group(this, "分组框4", QStringLiteral("作品信息"), 502, 96, 184, 120);
    label(work, "标签5", QStringLiteral("书名："), 8, 27, 38, 24);
    novelName_ = label(work, "标签_书名", QString(), 43, 20, 134, 39);
    label(work, "标签6", QStringLiteral("作者："), 8, 75, 38, 24);
    author_ = label(work, "标签_作者", QString(), 43, 68, 134, 39);
    // Two lines high: a long name wraps rather than losing its end.
    novelName_->setWordWrap(true);
    author_->setWordWrap(true);

    QGroupBox* download = group(this, "分组框2", QString(), 503, 220, 184, 163);
    downloadButton_ = button(download, "按钮_下载章节内容", QStringLiteral("下载章节内容"), 16, 13, 151, 32);
    pauseButton_ = button(download, "按钮_暂停继续", QStringLiteral("暂停"), 16, 55, 72, 32);
    stopButton_ = button(download, "按钮_停止", QStringLiteral("停止"), 95, 55, 72, 32);
    autoMerge_ = checkBox(download, "选择框_合并", QStringLiteral("下载完成自动合并"), 10, 91, 143, 33);
    pageCapture_ = checkBox(download, "选择框_页面抓取",
                            QStringLiteral("通过浏览网页抓取页面文字\n(仅测试，获取动态页文字)"), 10, 120, 167, 40);
    downloadButton_->setEnabled(false);
    pauseButton_->setEnabled(false);
    stopButton_->setEnabled(false);
    autoMerge_->setChecked(true);

    // The row tools sit together on one plain panel, so a running job can
    // switch them off as a whole.
    rowToolsPanel_ = new QWidget(this);
    rowToolsPanel_->setObjectName(QStringLiteral("rowToolsPanel"));
    rowToolsPanel_->setGeometry(0, 370, 500, 157);
    QGroupBox* select = group(rowToolsPanel_, "分组框1", QStringLiteral("选择"), 14, 10, 402, 112);
    QPushButton* checkAll = button(select, "按钮_全选", QStringLiteral("全选"), 7, 25, 50, 30);
    QPushButton* invertAll = button(select, "按钮_反选", QStringLiteral("反选"), 7, 63, 50, 30);
    QGroupBox* interval = group(select, "分组框3", QString(), 63, 13, 335, 87);
    label(interval, "标签2", QStringLiteral("从第"), 8, 19, 24, 30);
    firstRow_ = numberEdit(interval, "编辑框_首行", 1, 36, 22, 40, 24);
    label(interval, "标签7", QStringLiteral("行起，间隔"), 80, 22, 75, 24);
    interval_ = numberEdit(interval, "编辑框_间隔", 4, 143, 22, 40, 24);
    label(interval, "标签8", QStringLiteral("行选中，"), 186, 22, 46, 24);
    label(interval, "标签3", QStringLiteral("直到"), 231, 19, 24, 30);
    lastRow_ = numberEdit(interval, "编辑框_尾行", 9999, 259, 22, 40, 24);
    label(interval, "标签9", QStringLiteral("行止"), 303, 22, 25, 24);
    QPushButton* selectInterval = button(interval, "按钮_间选", QStringLiteral("等间选中"), 22, 51, 80, 30);
    QPushButton* invertHighlighted = button(interval, "按钮_取消选择", QStringLiteral("选中部分反选"), 115, 50, 90, 30);
    QPushButton* deleteHighlighted = button(interval, "按钮_删除选择", QStringLiteral("删除选中部分"), 222, 50, 90, 30);

    QGroupBox* move = group(rowToolsPanel_, "分组框5", QStringLiteral("移动"), 419, 10, 72, 112);
    QPushButton* moveUp = button(move, "按钮_上移", QStringLiteral("上移"), 8, 20, 50, 30);
    QPushButton* moveDown = button(move, "按钮_下移", QStringLiteral("下移"), 8, 61, 50, 30);

    mergeButton_ = button(this, "按钮_合并", QStringLiteral("合并全本"), 520, 400, 150, 32);
    mergeButton_->setEnabled(false);
    exitButton_ = button(this, "按钮_退出", QStringLiteral("退出软件"), 520, 443, 150, 32);
    // The follow-up options sit under the exit button, where no other control is.
    newChaptersOnly_ = checkBox(this, "选择框_只下载新章节", QStringLiteral("只下载新章节"), 520, 479, 150, 20);
    alsoEpub_ = checkBox(this, "选择框_同时生成EPUB", QStringLiteral("同时生成EPUB"), 520, 501, 150, 20);
    const DownloadOptions options = readDownloadOptions(std::string(kSettingsFileName));
    newChaptersOnly_->setChecked(options.newChaptersOnly);
    alsoEpub_->setChecked(options.alsoEpub);
    connect(newChaptersOnly_, &QCheckBox::clicked, this, &MainWindow::saveDownloadOptions);
    connect(alsoEpub_, &QCheckBox::clicked, this, &MainWindow::saveDownloadOptions);
    relativeAddress_ = edit(this, "编辑框_相对网址", QString(), 112, 208, 288, 20);
    relativeAddress_->hide();

    connect(chooseRuleButton_, &QPushButton::clicked, this, &MainWindow::toggleRuleSettings);

    listTools_ = new ChapterListTools({chapters_, firstRow_, interval_, lastRow_, ruleSettings_}, this);
    connect(checkAll, &QPushButton::clicked, listTools_, &ChapterListTools::checkAll);
    connect(invertAll, &QPushButton::clicked, listTools_, &ChapterListTools::invertAll);
    connect(selectInterval, &QPushButton::clicked, listTools_, &ChapterListTools::selectInterval);
    connect(invertHighlighted, &QPushButton::clicked, listTools_, &ChapterListTools::invertHighlighted);
    connect(deleteHighlighted, &QPushButton::clicked, listTools_, &ChapterListTools::deleteHighlighted);
    connect(moveUp, &QPushButton::clicked, listTools_, &ChapterListTools::moveUp);
    connect(moveDown, &QPushButton::clicked, listTools_, &ChapterListTools::moveDown);
    connect(autoMerge_, &QCheckBox::clicked, this,
            [this](bool checked) { mergeButton_->setEnabled(!checked && !job_->downloading()); });
}

void MainWindow::startUp()
{
    rules_.ensureRulesFile();
    for (const std::string& name : rules_.ruleNames()) {
        ruleSettings_->ruleList()->addItem(toQString(name));
        QCoreApplication::processEvents();
    }
    ruleSettings_->selectQuietly(0);
    refreshRuleFields();
    ruleLookup();

    connect(listAddress_, &QLineEdit::textChanged, this, &MainWindow::ruleLookup);
    connect(ruleSettings_, &RuleSettingsWindow::ruleSelectedByUser, this, &MainWindow::refreshRuleFields);
    ruleEditor_ = new RuleEditor(rules_, ruleSettings_, pageCapture_, this);
    connect(ruleEditor_, &RuleEditor::selectionMoved, this, &MainWindow::refreshRuleFields);
    connect(ruleSettings_, &RuleSettingsWindow::moreSettingsRequested, this, &MainWindow::editRuleOptions);
    connect(pageCapture_, &QCheckBox::clicked, ruleEditor_, &RuleEditor::writePageCapture);
}

void MainWindow::setStatus(const QString& text)
{
    status_->setText(text);
}

void MainWindow::ruleLookup()
{
    const int index = lookupRuleIndex(rules_, toGbk(listAddress_->text()));
    if (index == -1) {
        setStatus(QStringLiteral("未找到此网站的下载规则，请自行增加规则"));
        return;
    }
    ruleSettings_->selectQuietly(index);
    refreshRuleFields();
    setStatus(QStringLiteral("已找到此网站的下载规则，可直接点击下载"));
}

void MainWindow::refreshRuleFields()
{
    const SiteRule rule = rules_.readRule(ruleSettings_->selectedIndex() + 1);
    ruleSettings_->setFields(rule.siteAddress, rule.chapterListPattern, rule.novelNamePattern, rule.authorPattern,
                             rule.contentLeftMarker, rule.contentRightMarker);
    pageCapture_->setChecked(rule.pageCapture);
    ruleSettings_->setRuleOptions(rule.options);
}

void MainWindow::editRuleOptions()
{
    const int position = ruleSettings_->selectedIndex() + 1;
    if (position < 1) {
        return;
    }
    SiteRule rule = rules_.readRule(position, {RuleField::name, RuleField::options});
    RuleOptionsDialog dialog(toQString(rule.name), rule.options, ruleSettings_);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    rule.options = dialog.options();
    if (rules_.updateRule(position, {RuleField::options}, rule)) {
        ruleSettings_->setRuleOptions(rule.options);
    } else {
        TimedMessageBox(QStringLiteral("提示"), QStringLiteral("规则文件无法写入，设置未保存！"), 0, styleError);
    }
}

void MainWindow::placeRuleSettings()
{
    const QRect frame = frameGeometry();
    ruleSettings_->move(frame.left() + frame.width() + 5, frame.top() + 40);
}

void MainWindow::toggleRuleSettings()
{
    ruleSettings_->setVisible(!ruleSettings_->isVisible());
    chooseRuleButton_->setText(ruleSettings_->isVisible() ? QStringLiteral("<<<<规则设定")
                                                          : QStringLiteral("规则设定>>>>"));
}

void MainWindow::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    placeRuleSettings();
}

void MainWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && ruleSettings_->isVisible()) {
        ruleSettings_->setAttribute(Qt::WA_ShowWithoutActivating);
        ruleSettings_->raise();
    }
}

void MainWindow::openChapter(int row, int column)
{
    if (row < 0 || column < 1) {
        return;  // the check-box column only toggles
    }
    const std::filesystem::path file = chapterFilePath(toGbk(novelName_->text()), row + 1);
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QDir::current().absoluteFilePath(QString::fromStdString(file.string()))));
    }
}

void MainWindow::saveDownloadOptions()
{
    // A settings file that cannot be written costs only the memory of the boxes.
    writeDownloadOptions({newChaptersOnly_->isChecked(), alsoEpub_->isChecked()}, std::string(kSettingsFileName));
}

void MainWindow::exitProgram()
{
    browser_->stop();
    close();
    QCoreApplication::exit(0);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A running download or retrieval still reports to this window: end it
    // (transfers in flight are cut short) before the window goes.
    job_->stopAndWait();
    ruleSettings_->hide();
    QWidget::closeEvent(event);
}

}  // namespace velmora
