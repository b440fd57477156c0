// The rule test bench window on the offscreen platform: opened from the rule
// settings window, testing the fields as they stand, proposing and taking a
// rule, the browser-capture path with the real engine, and rule sharing.
#include "job/ChapterFiles.h"
#include "rules/RuleSharing.h"
#include "ui/QtText.h"
#include "ui/RuleBenchWindow.h"
#include "ui/RuleEditor.h"
#include "ui/WindowTestFixture.h"

#include <QShortcut>
#include <QSpinBox>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

// The web engine's own libraries trip these checks under the sanitizers;
// see BrowserDownloadTest.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\nleak:libfontconfig.so\n";
}

class RuleBenchTest : public WindowTest {
protected:
    RuleBenchWindow& bench() { return window().ruleBench(); }

    // Selects the rule at `index` as the user would, and waits for a run
    // started by `action` to end.
    void run(const std::function<void()>& action)
    {
        bool ended = false;
        const auto connection = QObject::connect(&bench(), &RuleBenchWindow::finished, [&] { ended = true; });
        action();
        ASSERT_TRUE(waitUntil([&] { return ended; }, 60000));
        QObject::disconnect(connection);
    }

    void useAddress(const std::string& address, int ruleIndex)
    {
        control<QLineEdit>("编辑框_章节列表网址")->setText(QString::fromStdString(address));
        control<QListWidget>("列表框1")->setCurrentRow(ruleIndex);
    }

    QString reportText() { return bench().findChild<QPlainTextEdit*>("编辑框_测试报告")->toPlainText(); }
    QPlainTextEdit* source() { return bench().findChild<QPlainTextEdit*>("编辑框_页面源码"); }
};

TEST_F(RuleBenchTest, CtrlTTestsTheFieldsAsTheyStandAndWritesNothing)
{
    NovelSite site;
    useAddress(site.listUrl(), 0);
    const std::string rulesBefore = fileBytes("下载配置.xml");
    const QRect settingsGeometry = window().ruleSettings()->geometry();

    run([&] {
        window().ruleSettings()->activateWindow();
        QTest::keyClick(window().ruleSettings(), Qt::Key_T, Qt::ControlModifier);
        if (!bench().isVisible()) {
            // The offscreen platform may not route the key to an inactive window.
            auto* shortcut = window().ruleSettings()->findChild<QShortcut*>();
            ASSERT_NE(shortcut, nullptr);
            emit shortcut->activated();
        }
    });
    ASSERT_NE(bench().report(), nullptr);
    EXPECT_TRUE(bench().report()->passed()) << reportText().toStdString();
    EXPECT_EQ(bench().report()->chapter.savedText, site.expectedChapterFile(1));
    EXPECT_TRUE(reportText().contains(QStringLiteral("结果: 通过")));
    // The list page's source with the five matches, the name and the author marked.
    EXPECT_EQ(source()->extraSelections().size(), 7);
    EXPECT_EQ(source()->extraSelections().front().cursor.selectedText(),
              toQString("<li class=\"chapter\"><a href=\"1.html\" title=\"" + site.title(1) + "\">" + site.title(1)
                        + "</a></li>"));

    // A field edited in the settings window: the re-run reads it.
    auto* listPattern = control<QPlainTextEdit>("编辑框_列表正则");
    listPattern->setPlainText(QStringLiteral("<li class=\"chapter\"><a href=\"(.*?)\""));
    listPattern->document()->setModified(true);  // as typing leaves it
    run([&] { bench().findChild<QPushButton*>("按钮_重新测试")->click(); });
    EXPECT_EQ(bench().report()->list.rows, 0);
    EXPECT_TRUE(reportText().contains(QStringLiteral("有匹配但没有成对的网址和标题分组")));

    // The bench wrote nothing of its own: the rules file changed only by the
    // field edit, no chapter folder, the settings window where it was.
    EXPECT_NE(fileBytes("下载配置.xml"), rulesBefore);
    EXPECT_FALSE(fs::exists(novelFolderPath(site.novelName())));
    EXPECT_EQ(window().ruleSettings()->geometry(), settingsGeometry);
    EXPECT_EQ(control<QListWidget>("列表框1")->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST_F(RuleBenchTest, SuggestionIsTriedAndTakenAsANewRule)
{
    NovelSite site;
    useAddress(site.listUrl(), 3);  // a rule of another markup
    run([&] { bench().openAndSuggest(); });
    ASSERT_NE(bench().suggestion(), nullptr);
    EXPECT_TRUE(bench().suggestion()->complete()) << reportText().toStdString();
    EXPECT_TRUE(bench().report()->passed()) << reportText().toStdString();
    EXPECT_TRUE(reportText().startsWith(QStringLiteral("建议的规则")));
    auto* adopt = bench().findChild<QPushButton*>("按钮_采用建议");
    ASSERT_TRUE(adopt->isEnabled());

    const int before = control<QListWidget>("列表框1")->count();
    adopt->click();
    const RuleStore rules("下载配置.xml");
    ASSERT_EQ(rules.ruleNames().size(), static_cast<std::size_t>(before + 1));
    const SiteRule added = rules.readRule(before + 1);
    EXPECT_EQ(added.name, "127.0.0.1");
    EXPECT_EQ(added.chapterListPattern, bench().suggestion()->rule.patterns.chapterList);
    EXPECT_EQ(control<QListWidget>("列表框1")->count(), before + 1);
    EXPECT_EQ(window().ruleSettings()->selectedIndex(), before);
    EXPECT_EQ(window().ruleSettings()->contentLeftMarker(), added.contentLeftMarker);

    // The taken rule downloads the novel through the main window.
    fetchList(site.listUrl());
    EXPECT_EQ(list()->topLevelItemCount(), site.chapterCount());
}

TEST_F(RuleBenchTest, CancelEndsATestAtOnce)
{
    LoopbackServer silent([](const RecordedRequest&) {
        Reply reply;
        reply.neverAnswer = true;
        return reply;
    });
    useAddress(silent.url("/book/1/"), 0);
    run([&] {
        bench().openAndTest();
        ASSERT_TRUE(bench().busy());
        bench().findChild<QPushButton*>("按钮_取消测试")->click();
    });
    EXPECT_TRUE(bench().report()->cancelled);
    EXPECT_FALSE(bench().busy());
}

TEST_F(RuleBenchTest, BrowserCaptureRuleReadsTheChapterThroughTheEngine)
{
    NovelSiteOptions options;
    options.chapters = 3;
    NovelSite site(options);
    useAddress(site.scriptListUrl(), 7);
    ASSERT_TRUE(control<QCheckBox>("选择框_页面抓取")->isChecked());
    bench().findChild<QSpinBox*>()->setMaximum(3);
    bench().findChild<QSpinBox*>()->setValue(2);
    run([&] { bench().openAndTest(); });
    const RuleTestReport* report = bench().report();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->chapter.page.captured);
    EXPECT_EQ(report->chapter.row, 2);
    EXPECT_EQ(report->chapter.savedText, site.expectedScriptChapterFile(2)) << reportText().toStdString();
    EXPECT_TRUE(report->passed()) << reportText().toStdString();
}

TEST_F(RuleBenchTest, ExportAndImportFromTheWindow)
{
    window();
    const RuleStore rules("下载配置.xml");
    auto* ruleList = control<QListWidget>("列表框1");
    ruleList->setCurrentRow(2);
    exportRulesFromWindow(rules, window().ruleSettings(), false, QStringLiteral("one.xml"));
    exportRulesFromWindow(rules, window().ruleSettings(), true, QStringLiteral("all.xml"));
    EXPECT_EQ(fileBytes("all.xml"), fileBytes("下载配置.xml"));

    // The exported rule comes back under a free name, at the end of the list.
    const std::string name = rules.ruleNames()[2];
    importRulesFromWindow(rules, window().ruleSettings(), &window().ruleEditor(), QStringLiteral("one.xml"));
    ASSERT_EQ(ruleList->count(), 17);
    EXPECT_EQ(toGbk(ruleList->item(16)->text()), name + "1");
    EXPECT_EQ(rules.ruleNames().back(), name + "1");

    // A file that is no rules file: refused with a message, nothing written.
    const std::string before = fileBytes("下载配置.xml");
    ASSERT_TRUE(replaceFileContent("bad.xml", "<html></html>"));
    forgetShown();
    importRulesFromWindow(rules, window().ruleSettings(), &window().ruleEditor(), QStringLiteral("bad.xml"));
    EXPECT_EQ(fileBytes("下载配置.xml"), before);
    EXPECT_EQ(ruleList->count(), 17);
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_TRUE(shown()[0].text.contains(QStringLiteral("导入被拒绝")));
}
