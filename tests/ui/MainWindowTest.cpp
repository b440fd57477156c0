// End-to-end runs of the main window against the sample novel site on
// 127.0.0.1: real widgets on the offscreen platform, real files in a fresh
// working folder, message boxes answered at once through the test seam.
#include "ui/WindowTestFixture.h"

using namespace velmora;
using namespace velmora::test;

class MainWindowTest : public WindowTest {
protected:
    // A novel long and slow enough that its download still runs a moment
    // after it started.
    static NovelSiteOptions slowNovel()
    {
        NovelSiteOptions options;
        options.chapters = 200;
        options.delay = std::chrono::milliseconds(100);
        return options;
    }
};

TEST_F(MainWindowTest, StartUpWritesRulesSelectsFirstRuleAndFindsDefaultAddress)
{
    window();
    EXPECT_TRUE(fs::exists("下载配置.xml"));
    auto* rules = control<QListWidget>("列表框1");
    EXPECT_EQ(rules->count(), 16);
    EXPECT_EQ(rules->currentRow(), 0);
    EXPECT_EQ(rules->item(10)->text(), "52中文网");
    EXPECT_EQ(control<QLineEdit>("编辑框_网址")->text(), "http://www.kanshu58.example/");
    EXPECT_EQ(status(), "已找到此网站的下载规则，可直接点击下载");
    EXPECT_FALSE(button("按钮_下载章节内容")->isEnabled());
    EXPECT_FALSE(button("按钮_暂停继续")->isEnabled());
    EXPECT_FALSE(button("按钮_停止")->isEnabled());
    EXPECT_FALSE(button("按钮_合并")->isEnabled());
    EXPECT_TRUE(control<QCheckBox>("选择框_合并")->isChecked());
    EXPECT_TRUE(list()->isColumnHidden(2));
}

TEST_F(MainWindowTest, LookupFollowsEveryChangeOfTheAddress)
{
    auto* address = control<QLineEdit>("编辑框_章节列表网址");
    auto* rules = control<QListWidget>("列表框1");
    address->setText("HTTPS://WWW.FreeXS.example:8080/book/9.html");
    EXPECT_EQ(rules->currentRow(), 2);
    EXPECT_EQ(control<QLineEdit>("编辑框_网址")->text(), "http://www.freexs.example/");
    address->setText("http://m.freexs.example/");
    EXPECT_EQ(status(), "未找到此网站的下载规则，请自行增加规则");
    EXPECT_EQ(rules->currentRow(), 2);  // the rule found before stays current
    address->setText("http://book.xs2345.example/");
    EXPECT_TRUE(control<QCheckBox>("选择框_页面抓取")->isChecked());
}

TEST_F(MainWindowTest, RetrievalFillsTheListFromAGbkPage)
{
    test::NovelSite site;
    fetchList(site.listUrl());
    ASSERT_EQ(list()->topLevelItemCount(), 5);
    EXPECT_EQ(cell(0, 0), "1");
    EXPECT_EQ(cell(4, 0), "5");
    EXPECT_EQ(cell(1, 1), "第2章 山门");
    EXPECT_EQ(cell(1, 2), "2.html");
    EXPECT_EQ(cell(1, 3), "等待下载");
    EXPECT_TRUE(checked(3));
    EXPECT_EQ(control<QLabel>("标签_书名")->text(), "青云旧事");
    EXPECT_EQ(control<QLabel>("标签_作者")->text(), "林小舟");
    EXPECT_EQ(control<QLineEdit>("编辑框_相对网址")->text().toStdString(), site.server().url("/book/1/"));
    EXPECT_EQ(control<QLineEdit>("编辑框_尾行")->text(), "5");
    EXPECT_EQ(status(), "小说章节名获取成功，请点击下载章节内容！");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].text, "小说章节名获取完毕\r\n(3秒后自动关闭)");
    EXPECT_EQ(shown()[0].timeoutMs, 3000);
    EXPECT_EQ(shown()[0].style, styleInformation);
    EXPECT_TRUE(button("按钮_下载章节内容")->isEnabled());
    EXPECT_TRUE(window().ruleSettings()->isEnabled());
}

// Web novels often have long names; the two-line labels wrap them rather than
// cutting their ends off.
TEST_F(MainWindowTest, LongNameAndAuthorAreShownWhole)
{
    NovelSiteOptions options;
    options.novelName = encoding::toGbk("重生之我在都市当神医的那些年月");
    options.author = encoding::toGbk("一位名字很长很长的作者先生");
    NovelSite site(options);
    fetchList(site.listUrl());
    for (const char* name : {"标签_书名", "标签_作者"}) {
        const QLabel* label = control<QLabel>(name);
        const QRect room = label->contentsRect();
        const QRect needed =
            QFontMetrics(label->font()).boundingRect(QRect(0, 0, room.width(), 1000), Qt::TextWordWrap, label->text());
        EXPECT_TRUE(label->wordWrap()) << name;
        EXPECT_GT(needed.height(), QFontMetrics(label->font()).height()) << name;  // it takes two lines
        EXPECT_LE(needed.height(), room.height()) << name;
    }
    EXPECT_EQ(control<QLabel>("标签_书名")->text(), "重生之我在都市当神医的那些年月");
}

TEST_F(MainWindowTest, RetrievalReadsGzipUtf8PageWithAbsoluteLinks)
{
    test::NovelSite site;
    fetchList(site.utf8ListUrl());
    ASSERT_EQ(list()->topLevelItemCount(), 5);
    EXPECT_EQ(cell(2, 1), "第3章 山门");
    EXPECT_EQ(cell(2, 2), "/utf8/1/3.html");
    EXPECT_EQ(control<QLineEdit>("编辑框_相对网址")->text().toStdString(), site.server().url(""));
    EXPECT_EQ(control<QLabel>("标签_作者")->text(), "林小舟");
}

TEST_F(MainWindowTest, FailedRetrievalLeavesAnEmptyList)
{
    test::NovelSite site;
    fetchList(site.listUrl());
    forgetShown();
    fetchList(site.server().url("/missing/"));
    EXPECT_EQ(list()->topLevelItemCount(), 0);
    EXPECT_EQ(control<QLabel>("标签_书名")->text(), "");
    EXPECT_EQ(status(), "章节获取失败，请重试！");
    EXPECT_EQ(control<QLabel>("标签4")->toolTip(), "HTTP 404");  // why, where the user looks
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].text, "章节获取失败\r\n(3秒后自动关闭)");
    EXPECT_EQ(shown()[0].style, styleError);
    EXPECT_EQ(control<QLineEdit>("编辑框_尾行")->text(), "5");  // left as it was

    // A download now has nothing to save and no novel to name a folder.
    button("按钮_下载章节内容")->click();
    ASSERT_TRUE(waitUntil([&] { return button("按钮_获取章节标题")->isEnabled(); }));
    EXPECT_FALSE(fs::exists(folder_ / "_"));
}

TEST_F(MainWindowTest, DownloadSavesCheckedChaptersAndMergesTheNovel)
{
    test::NovelSite site;
    fetchList(site.listUrl());
    list()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    forgetShown();
    button("按钮_下载章节内容")->click();  // returns when the run has ended

    for (int n : {1, 3, 4, 5}) {
        EXPECT_EQ(fileBytes(chapterFilePath(site.novelName(), n)), site.expectedChapterFile(n)) << n;
        EXPECT_EQ(cell(n - 1, 3), "下载完毕");
        EXPECT_FALSE(checked(n - 1));
    }
    EXPECT_FALSE(fs::exists(chapterFilePath(site.novelName(), 2)));
    EXPECT_EQ(cell(1, 3), "等待下载");
    EXPECT_EQ(site.requestsFor(2), 0);

    const std::string merged = site.expectedChapterFile(1) + "\r\n\r\n" + site.expectedChapterFile(3) + "\r\n\r\n"
                               + site.expectedChapterFile(4) + "\r\n\r\n" + site.expectedChapterFile(5);
    EXPECT_EQ(fileBytes(mergedFilePath(site.novelName(), site.author())), merged);
    EXPECT_EQ(status(), "整本小说下载完毕");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].text, "整本小说下载完毕");
    EXPECT_EQ(shown()[0].timeoutMs, 0);
    EXPECT_TRUE(button("按钮_下载章节内容")->isEnabled());
    EXPECT_FALSE(button("按钮_暂停继续")->isEnabled());
    EXPECT_FALSE(button("按钮_停止")->isEnabled());
    EXPECT_TRUE(window().ruleSettings()->isEnabled());
}

TEST_F(MainWindowTest, FailedChaptersBlockTheMergeAndASecondRunRetriesOnlyThem)
{
    test::NovelSiteOptions options;
    options.failFirst = {{2, 2}, {4, 3}};  // chapter 2 comes on the third try; chapter 4 only in a later run
    options.missingMarker = {3};
    test::NovelSite site(options);
    fetchList(site.listUrl());
    button("按钮_下载章节内容")->click();

    EXPECT_EQ(cell(1, 3), "下载完毕");
    EXPECT_EQ(site.requestsFor(2), 3);
    EXPECT_EQ(cell(2, 3), "失败3次");  // a page without the content marker is not a chapter
    EXPECT_EQ(cell(3, 3), "失败3次");
    EXPECT_TRUE(checked(2));
    EXPECT_TRUE(checked(3));
    EXPECT_FALSE(fs::exists(chapterFilePath(site.novelName(), 3)));
    EXPECT_EQ(status(), "有2个章节的内容下载失败，请点击继续下载，或直接手动合并小说");
    // The status line's tooltip names the last row that failed and why.
    const QString why = control<QLabel>("标签4")->toolTip();
    EXPECT_TRUE(why.startsWith("第3行") ? why.endsWith("页面缺少内容左标记") : why.startsWith("第4行"))
        << why.toStdString();
    EXPECT_FALSE(control<QCheckBox>("选择框_合并")->isChecked());
    EXPECT_TRUE(button("按钮_合并")->isEnabled());
    EXPECT_FALSE(fs::exists(mergedFilePath(site.novelName(), site.author())));

    button("按钮_下载章节内容")->click();
    EXPECT_EQ(site.requestsFor(1), 1);
    EXPECT_EQ(site.requestsFor(4), 4);
    EXPECT_EQ(cell(3, 3), "下载完毕");
    EXPECT_EQ(status(), "有1个章节的内容下载失败，请点击继续下载，或直接手动合并小说");

    forgetShown();
    button("按钮_合并")->click();
    EXPECT_EQ(status(), "整本小说下载完毕");
    const std::string merged = site.expectedChapterFile(1) + "\r\n\r\n" + site.expectedChapterFile(2) + "\r\n\r\n"
                               + site.expectedChapterFile(4) + "\r\n\r\n" + site.expectedChapterFile(5);
    EXPECT_EQ(fileBytes(mergedFilePath(site.novelName(), site.author())), merged);
}

TEST_F(MainWindowTest, StopLeavesUnstartedRowsWaitingAndSkipsTheEnd)
{
    NovelSite site(slowNovel());
    fetchList(site.listUrl());
    forgetShown();
    QTimer::singleShot(150, [&] {
        EXPECT_FALSE(button("按钮_获取章节标题")->isEnabled());
        EXPECT_FALSE(window().ruleSettings()->isEnabled());
        button("按钮_停止")->click();
    });
    button("按钮_下载章节内容")->click();

    int waiting = 0;
    for (int row = 0; row < 200; ++row) {
        if (cell(row, 3) == "等待下载") {
            ++waiting;
            EXPECT_TRUE(checked(row));
        }
    }
    EXPECT_GT(waiting, 0);
    EXPECT_TRUE(shown().empty());
    EXPECT_FALSE(fs::exists(mergedFilePath(site.novelName(), site.author())));
    EXPECT_TRUE(button("按钮_下载章节内容")->isEnabled());
    EXPECT_TRUE(button("按钮_获取章节标题")->isEnabled());
    EXPECT_EQ(button("按钮_暂停继续")->text(), "暂停");
}

TEST_F(MainWindowTest, PauseHoldsTheQueueAndContinueFinishesIt)
{
    test::NovelSiteOptions options;
    options.chapters = 200;
    options.delay = std::chrono::milliseconds(50);
    test::NovelSite site(options);
    fetchList(site.listUrl());
    int requestsWhenPaused = 0;
    QTimer::singleShot(100, [&] {
        button("按钮_暂停继续")->click();
        EXPECT_EQ(button("按钮_暂停继续")->text(), "继续");
        QTimer::singleShot(300, [&] {
            requestsWhenPaused = static_cast<int>(site.server().requests().size());
            QTimer::singleShot(300, [&] {
                // Each worker holds at most one job it took while the pool paused.
                EXPECT_LE(static_cast<int>(site.server().requests().size()), requestsWhenPaused + 20);
                button("按钮_暂停继续")->click();
            });
        });
    });
    button("按钮_下载章节内容")->click();
    EXPECT_LT(requestsWhenPaused, 200);
    for (int row = 0; row < 200; ++row) {
        EXPECT_EQ(cell(row, 3), "下载完毕") << row;
    }
    EXPECT_EQ(button("按钮_暂停继续")->text(), "暂停");
}

TEST_F(MainWindowTest, HostileNovelNameStaysInsideTheWorkingFolder)
{
    test::NovelSiteOptions options;
    options.chapters = 2;
    options.novelName = "../../evil";
    options.author = "a/b";
    test::NovelSite site(options);
    fetchList(site.listUrl());
    EXPECT_EQ(control<QLabel>("标签_书名")->text(), "../../evil");
    button("按钮_下载章节内容")->click();
    EXPECT_EQ(fileBytes(folder_ / ".._.._evil" / "1.txt"), site.expectedChapterFile(1));
    EXPECT_TRUE(fs::exists(folder_ / ".._.._evil(a_b).txt"));
    EXPECT_FALSE(fs::exists(folder_.parent_path().parent_path() / "evil"));
}

TEST_F(MainWindowTest, ClosingDuringADownloadWaitsForTheWorkers)
{
    NovelSite site(slowNovel());
    fetchList(site.listUrl());
    QTimer::singleShot(250, [&] { window().close(); });
    button("按钮_下载章节内容")->click();
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(globals_->workerPool().isIdle());
    EXPECT_FALSE(fs::exists(mergedFilePath(site.novelName(), site.author())));
}

TEST_F(MainWindowTest, RuleSettingsWindowFollowsShowsHidesAndRefusesToClose)
{
    RuleSettingsWindow* settings = window().ruleSettings();
    EXPECT_FALSE(settings->isVisible());
    button("按钮_选择规则")->click();
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(button("按钮_选择规则")->text(), "<<<<规则设定");
    EXPECT_FALSE(settings->close());
    EXPECT_TRUE(settings->isVisible());
    button("按钮_选择规则")->click();
    EXPECT_FALSE(settings->isVisible());
    EXPECT_EQ(button("按钮_选择规则")->text(), "规则设定>>>>");

    window().move(120, 90);
    const QRect frame = window().frameGeometry();
    EXPECT_TRUE(waitUntil([&] { return settings->pos() == QPoint(frame.right() + 1 + 5, frame.top() + 40); }));
}

TEST_F(MainWindowTest, MergeButtonFollowsTheAutoMergeBox)
{
    auto* autoMerge = control<QCheckBox>("选择框_合并");
    autoMerge->click();
    EXPECT_TRUE(button("按钮_合并")->isEnabled());
    autoMerge->click();
    EXPECT_FALSE(button("按钮_合并")->isEnabled());
}

// A merge during a download would write part of the novel and call it whole.
TEST_F(MainWindowTest, NoMergeWhileADownloadRuns)
{
    NovelSite site(slowNovel());
    fetchList(site.listUrl());
    auto* autoMerge = control<QCheckBox>("选择框_合并");
    autoMerge->click();
    ASSERT_TRUE(button("按钮_合并")->isEnabled());
    forgetShown();
    std::vector<bool> mergeEnabled;
    QTimer::singleShot(150, [&] {
        mergeEnabled.push_back(button("按钮_合并")->isEnabled());
        autoMerge->click();
        autoMerge->click();  // unchecked again, which offers the merge when idle
        mergeEnabled.push_back(button("按钮_合并")->isEnabled());
        emit button("按钮_合并")->clicked();  // the handler itself refuses too
        button("按钮_停止")->click();
    });
    button("按钮_下载章节内容")->click();
    EXPECT_EQ(mergeEnabled, (std::vector<bool>{false, false}));
    EXPECT_TRUE(shown().empty());
    EXPECT_FALSE(fs::exists(mergedFilePath(site.novelName(), site.author())));
    EXPECT_NE(status(), "整本小说下载完毕");
    EXPECT_TRUE(button("按钮_合并")->isEnabled());  // offered again once the run is over
}

TEST_F(MainWindowTest, SelectingARuleLoadsItsFieldsAndLeavesTheFileAlone)
{
    window();
    const std::string before = fileBytes("下载配置.xml");
    auto* rules = control<QListWidget>("列表框1");
    rules->setCurrentRow(7);  // 2345小说（仅测试）, a page-capture rule
    EXPECT_EQ(control<QLineEdit>("编辑框_章节内容左")->text(), "正在玩命为您加载中，请稍后！");
    EXPECT_EQ(control<QLineEdit>("编辑框_章节内容左")->cursorPosition(), 0);  // the long marker shows its start
    EXPECT_TRUE(control<QCheckBox>("选择框_页面抓取")->isChecked());
    // A pattern ending in CR LF reaches the job as it is stored.
    EXPECT_EQ(
        window().ruleSettings()->chapterListPattern().substr(window().ruleSettings()->chapterListPattern().size() - 2),
        "\r\n");
    EXPECT_EQ(fileBytes("下载配置.xml"), before);
}

TEST_F(MainWindowTest, ChapterThatCannotBeWrittenIsNotReportedAsSaved)
{
    NovelSiteOptions options;
    options.chapters = 2;
    NovelSite site(options);
    fetchList(site.listUrl());
    fs::create_directories(chapterFilePath(site.novelName(), 1));  // a folder where the file should go
    forgetShown();
    button("按钮_下载章节内容")->click();

    EXPECT_EQ(cell(0, 3), "保存失败");
    EXPECT_TRUE(checked(0));
    EXPECT_EQ(cell(1, 3), "下载完毕");
    EXPECT_EQ(status(), "有1个章节的内容下载失败，请点击继续下载，或直接手动合并小说");
    EXPECT_FALSE(fs::exists(mergedFilePath(site.novelName(), site.author())));
}

// Workers address rows by position, so no tool may move or delete rows
// under a running download.
TEST_F(MainWindowTest, RowToolsAreOffWhileADownloadRuns)
{
    NovelSite site(slowNovel());
    fetchList(site.listUrl());
    bool toolsEnabledDuringRun = true;
    QTimer::singleShot(150, [&] {
        toolsEnabledDuringRun = button("按钮_删除选择")->isEnabled() || button("按钮_上移")->isEnabled();
        button("按钮_停止")->click();
    });
    button("按钮_下载章节内容")->click();
    EXPECT_FALSE(toolsEnabledDuringRun);
    EXPECT_TRUE(button("按钮_删除选择")->isEnabled());
    EXPECT_TRUE(button("按钮_下移")->isEnabled());
}

// A failed retrieval leaves no rows, so a download then has nothing to
// write, not even the folder of a novel without a name.
TEST_F(MainWindowTest, DownloadAfterAFailedRetrievalMakesNoFolder)
{
    NovelSite site;
    fetchList(site.server().url("/missing/"));
    button("按钮_下载章节内容")->click();
    EXPECT_FALSE(fs::exists(novelFolderPath("")));
}

// Chapters whose server never answers: closing the window cuts their
// transfers short instead of waiting out the time-outs.
TEST_F(MainWindowTest, ClosingCutsTransfersToASilentServerShort)
{
    NovelSite site;
    LoopbackServer silent([](const RecordedRequest&) {
        Reply reply;
        reply.neverAnswer = true;
        return reply;
    });
    fetchList(site.listUrl());
    control<QLineEdit>("编辑框_相对网址")->setText(QString::fromStdString(silent.url("/")));
    QElapsedTimer closing;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!closing.isValid() && silent.requests().size() == 5) {
            closing.start();
            window().close();
        }
    });
    driver.start(10);
    button("按钮_下载章节内容")->click();
    ASSERT_TRUE(closing.isValid());
    EXPECT_LT(closing.elapsed(), 10000);  // the transfers alone would hold on for a minute
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(silent.requests().size(), 5u);
    EXPECT_EQ(cell(0, 3), "等待下载");
    EXPECT_TRUE(checked(0));
}

// A second copy of the program downloading the same novel into the same
// folder holds the folder's lock: this one refuses and says why.
TEST_F(MainWindowTest, DownloadIntoAFolderInUseIsRefused)
{
    for (const bool browserMode : {false, true}) {
        SCOPED_TRACE(browserMode ? "browser mode" : "HTTP mode");
        NovelSite site;
        fetchList(site.listUrl());
        control<QCheckBox>("选择框_页面抓取")->setChecked(browserMode);
        ASSERT_TRUE(createNovelFolder(site.novelName()));
        const NovelFolderLock other = NovelFolderLock::tryLock(novelFolderPath(site.novelName()));
        forgetShown();
        button("按钮_下载章节内容")->click();
        EXPECT_EQ(site.requestsFor(1), 0);
        EXPECT_EQ(cell(0, 3), "等待下载");
        EXPECT_EQ(status(), "这本小说正在别处下载，请等那边下载完毕再试！");
        ASSERT_EQ(shown().size(), 1u);
        EXPECT_EQ(shown()[0].text, "另一个程序正在把这本小说下载到同一个文件夹，\r\n请等那边下载完毕再试！");
        EXPECT_EQ(shown()[0].style, styleError);
        EXPECT_TRUE(button("按钮_下载章节内容")->isEnabled());
        EXPECT_FALSE(button("按钮_停止")->isEnabled());
    }
}
