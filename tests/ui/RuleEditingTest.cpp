// Rule editing in the rule settings window: field edits written at once, the
// two-step addition, renaming and deletion, with every answer of their boxes
// given through the seams. The rules file is checked byte for byte against
// the default content edited by hand.
#include "core/Text.h"
#include "rules/DefaultRules.h"
#include "rules/RuleStore.h"
#include "support/FileSizeLimit.h"
#include "support/Gbk.h"
#include "ui/QtText.h"
#include "ui/WindowTestFixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QKeyEvent>
#include <QSpinBox>
#include <QTest>

using namespace velmora;
using namespace velmora::test;

namespace {

const char* const kRulesFile = "下载配置.xml";
const QString kConfirmText = QStringLiteral("请确认是否增加规则\r\n确认请点击\"是\"\r\n取消请点击\"否\"\r\n返回重新修改"
                                            "请点击\"取消\"\r\n5秒后自动返回重新修改");
const QString kRenameText =
    QStringLiteral("是否修改规则名？\r\n修改请点击\"是\"\r\n不修改请点击\"否\"\r\n5秒后自动返回不修改规则名");
const QString kUnusableName = QStringLiteral("规则名称不能含有空格、引号及 < > / & = 等字符\r\n(3秒后自动关闭)");

// Types `text` into `w` one character at a time, as a keyboard or an input
// method would; in a one-line field, at the end of its text.
void typeText(QWidget* w, const QString& text)
{
    if (qobject_cast<QLineEdit*>(w) != nullptr) {
        QTest::keyClick(w, Qt::Key_End);
    }
    for (const QChar ch : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
        QCoreApplication::sendEvent(w, &release);
    }
}

// `text` with the first `from` replaced by `to`; `from` must be there.
std::string replaceOnce(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The line of the default file that holds rule `name`, from its TAB to "/>".
std::string defaultRuleLine(const char* name)
{
    const std::string& text = DefaultRulesText();
    const std::size_t start = text.find("\t<" + gbk(name) + " ");
    const std::size_t end = text.find("/>", start);
    return text.substr(start, end + 2 - start);
}

}  // namespace

class RuleEditingTest : public WindowTest {
protected:
    QListWidget* rules() { return control<QListWidget>("列表框1"); }
    QPushButton* addButton() { return button("按钮_增加"); }
    QString field(const char* name)
    {
        if (auto* line = window().ruleSettings()->findChild<QLineEdit*>(QString::fromUtf8(name))) {
            return line->text();
        }
        return control<QPlainTextEdit>(name)->toPlainText();
    }

    // Enabled states of the rule list, rename, add and delete.
    std::vector<bool> enabledStates()
    {
        return {rules()->isEnabled(), button("按钮_修改规则名")->isEnabled(), addButton()->isEnabled(),
                button("按钮_删除")->isEnabled()};
    }

    // Step 1 of an addition, answered with `name`.
    void beginAdd(const QString& name)
    {
        answerInputs({name});
        addButton()->click();
    }

    RuleStore store_;
};

TEST_F(RuleEditingTest, AddedRuleHasNoSpacesAndTheFieldsShownAsLastElement)
{
    window();
    beginAdd(QStringLiteral("新 站\u3000名"));
    ASSERT_EQ(asked().size(), 1u);
    EXPECT_EQ(asked()[0].prompt, "请输入新的规则名称：\r\n（不含空格）");
    EXPECT_EQ(asked()[0].title, "输入名称");
    EXPECT_EQ(asked()[0].initialText, "新规则名称");
    EXPECT_EQ(asked()[0].mode, inputAnyText);

    ASSERT_EQ(rules()->count(), 17);
    EXPECT_EQ(rules()->item(16)->text(), "新站名");
    EXPECT_EQ(rules()->currentRow(), 16);
    EXPECT_EQ(addButton()->text(), "确认增加");
    EXPECT_EQ(enabledStates(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(field("编辑框_网址"), "");
    EXPECT_EQ(field("编辑框_章节内容左"), R"(<div id="content" class="content">)");  // the template stays

    // Editing the new rule before it is confirmed writes nothing.
    typeText(control<QLineEdit>("编辑框_网址"), "http://new.example/");
    control<QCheckBox>("选择框_页面抓取")->click();
    EXPECT_EQ(fileBytes(kRulesFile), DefaultRulesText());

    answerMessages({resultYes});
    addButton()->click();
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].caption, "确认提醒");
    EXPECT_EQ(shown()[0].text, kConfirmText);
    EXPECT_EQ(shown()[0].timeoutMs, 5000);
    EXPECT_EQ(shown()[0].style, styleYesNoCancel);

    std::string line = replaceOnce(defaultRuleLine("58看书"), gbk("<58看书 "), gbk("<新站名 "));
    line = replaceOnce(line, "\"http://www.kanshu58.example/\"", "\"http://new.example/\"");
    line = replaceOnce(line, gbk("页面抓取=\"假\""), gbk("页面抓取=\"真\""));
    const std::string end = "\r\n" + gbk("</小说站点>");
    EXPECT_EQ(fileBytes(kRulesFile), replaceOnce(DefaultRulesText(), end, "\r\n" + line + end));
    EXPECT_EQ(addButton()->text(), "增加");
    EXPECT_EQ(enabledStates(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(rules()->currentRow(), 16);

    // From now on the fields edit the new rule.
    typeText(control<QLineEdit>("编辑框_章节内容右"), "x");
    EXPECT_EQ(store_.readRule(17).contentRightMarker, "</div>x");
    EXPECT_EQ(store_.readRule(1).contentRightMarker, "</div>");
}

TEST_F(RuleEditingTest, NameStepAsksWithOnlyTheAddButtonEnabled)
{
    window();
    std::vector<bool> whileAsking;
    setInputBoxHook([&](const QString&, const QString&, const QString&, int) {
        whileAsking = enabledStates();
        return std::optional<QString>();
    });
    addButton()->click();
    EXPECT_EQ(whileAsking, (std::vector<bool>{false, false, true, false}));
}

struct AbandonedNameCase {
    const char* label;
    std::optional<QString> answer;
};

void PrintTo(const AbandonedNameCase& c, std::ostream* os)
{
    *os << c.label;
}

class AddNameStepTest : public RuleEditingTest, public testing::WithParamInterface<AbandonedNameCase> {};

TEST_P(AddNameStepTest, CancelOrEmptyNameEndsTheAddition)
{
    window();
    answerInputs({GetParam().answer});
    addButton()->click();
    EXPECT_EQ(rules()->count(), 16);
    EXPECT_EQ(addButton()->text(), "增加");
    EXPECT_EQ(enabledStates(), (std::vector<bool>{true, true, true, true}));
    EXPECT_TRUE(shown().empty());
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RuleEditing, AddNameStepTest, testing::Values(
    AbandonedNameCase{"cancelled", std::nullopt},
    AbandonedNameCase{"only spaces", QStringLiteral(" \u3000 ")},
    AbandonedNameCase{"empty", QString()}
));
// clang-format on

struct KeepEditingCase {
    const char* label;
    int answer;
};

void PrintTo(const KeepEditingCase& c, std::ostream* os)
{
    *os << c.label;
}

class AddConfirmKeepsEditingTest : public RuleEditingTest, public testing::WithParamInterface<KeepEditingCase> {};

TEST_P(AddConfirmKeepsEditingTest, AddModeGoesOn)
{
    window();
    beginAdd(QStringLiteral("新站"));
    answerMessages({GetParam().answer});
    addButton()->click();
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(addButton()->text(), "确认增加");
    EXPECT_EQ(rules()->count(), 17);
    EXPECT_EQ(rules()->currentRow(), 16);
    EXPECT_EQ(enabledStates(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(fileBytes(kRulesFile), DefaultRulesText());

    // A later Yes still adds it, with the address left empty as step 1 made it.
    answerMessages({resultYes});
    addButton()->click();
    EXPECT_EQ(store_.ruleNames().size(), 17u);
    SiteRule expected = store_.readRule(1);
    expected.name = gbk("新站");
    expected.siteAddress.clear();
    EXPECT_EQ(store_.readRule(17), expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RuleEditing, AddConfirmKeepsEditingTest, testing::Values(
    KeepEditingCase{"cancel", resultCancel},
    KeepEditingCase{"timed out", resultTimedOut},
    KeepEditingCase{"no box", resultCannotShow}
));
// clang-format on

TEST_F(RuleEditingTest, AnsweringNoDropsTheNewRuleAndReloadsThePreviousOne)
{
    window();
    rules()->setCurrentRow(2);  // Freexs免费小说网
    const SiteRule previous = store_.readRule(3);
    beginAdd(QStringLiteral("新站"));
    typeText(control<QLineEdit>("编辑框_章节内容左"), "abandoned");

    answerMessages({resultNo});
    addButton()->click();
    EXPECT_EQ(rules()->count(), 16);
    EXPECT_EQ(rules()->currentRow(), 2);
    EXPECT_EQ(addButton()->text(), "增加");
    EXPECT_EQ(enabledStates(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(field("编辑框_网址"), toQString(previous.siteAddress));
    EXPECT_EQ(field("编辑框_章节内容左"), toQString(previous.contentLeftMarker));
    EXPECT_EQ(fileBytes(kRulesFile), DefaultRulesText());

    // The next edit goes into the rule selected again, from its own value.
    typeText(control<QLineEdit>("编辑框_章节内容左"), "!");
    EXPECT_EQ(store_.readRule(3).contentLeftMarker, previous.contentLeftMarker + "!");
    EXPECT_EQ(store_.readRule(3).siteAddress, previous.siteAddress);
}

// A name the file cannot hold is refused as soon as it is typed, before the
// user fills in fields for a rule that could never be saved.
TEST_F(RuleEditingTest, NameTheFileCannotHoldIsRefusedBeforeTheFields)
{
    window();
    rules()->setCurrentRow(4);
    const QString names[] = {QStringLiteral("a<b"), QStringLiteral("a/b"), QStringLiteral("a\"b"),
                             QStringLiteral("a&b"), QStringLiteral("!ab"), QStringLiteral("名=字")};
    for (const QString& name : names) {
        forgetShown();
        beginAdd(name);
        ASSERT_EQ(shown().size(), 1u) << name.toStdString();
        EXPECT_EQ(shown()[0].caption, "提示");
        EXPECT_EQ(shown()[0].text, kUnusableName);
        EXPECT_EQ(shown()[0].timeoutMs, 3000);
        EXPECT_EQ(shown()[0].style, styleError);
        EXPECT_EQ(rules()->count(), 16);
        EXPECT_EQ(rules()->currentRow(), 4);
        EXPECT_EQ(field("编辑框_网址"), toQString(store_.readRule(5).siteAddress));
        EXPECT_EQ(addButton()->text(), "增加");
        EXPECT_EQ(enabledStates(), (std::vector<bool>{true, true, true, true}));
    }
    EXPECT_EQ(fileBytes(kRulesFile), DefaultRulesText());

    // The next addition starts afresh and asks for a name again.
    beginAdd(QStringLiteral("好名字"));
    EXPECT_EQ(asked().size(), std::size(names) + 1);
    EXPECT_EQ(addButton()->text(), "确认增加");
}

TEST_F(RuleEditingTest, AdditionIntoAnUnreadableFileLeavesNoPhantomRule)
{
    window();
    beginAdd(QStringLiteral("新站"));
    ASSERT_TRUE(replaceFileContent(kRulesFile, "not xml"));
    answerMessages({resultYes});
    addButton()->click();
    EXPECT_EQ(shown().size(), 1u);  // only the confirmation: a broken file stays silent
    EXPECT_EQ(rules()->count(), 16);
    EXPECT_EQ(rules()->currentRow(), 0);
    EXPECT_EQ(addButton()->text(), "增加");
    EXPECT_EQ(fileBytes(kRulesFile), "not xml");
}

TEST_F(RuleEditingTest, RenameProposesTheNameWithOneAndWritesANewName)
{
    window();
    std::vector<bool> whileAsking;
    answerMessages({resultYes});
    setInputBoxHook([&](const QString& prompt, const QString& title, const QString& initialText, int mode) {
        whileAsking = enabledStates();
        EXPECT_EQ(prompt, "请输入新的规则名称：");
        EXPECT_EQ(title, "修改规则名称");
        EXPECT_EQ(initialText, "58看书1");
        EXPECT_EQ(mode, inputAnyText);
        return std::optional<QString>(QStringLiteral("新 名\u3000字"));
    });
    button("按钮_修改规则名")->click();
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].caption, "修改询问");
    EXPECT_EQ(shown()[0].text, kRenameText);
    EXPECT_EQ(shown()[0].timeoutMs, 5000);
    EXPECT_EQ(shown()[0].style, styleYesNo);
    EXPECT_EQ(whileAsking, (std::vector<bool>{false, true, false, false}));

    EXPECT_EQ(rules()->item(0)->text(), "新名字");
    EXPECT_EQ(fileBytes(kRulesFile), replaceOnce(DefaultRulesText(), gbk("<58看书 "), gbk("<新名字 ")));
    EXPECT_EQ(enabledStates(), (std::vector<bool>{true, true, true, true}));
}

struct RenameCase {
    const char* label;
    int answer;
    std::optional<QString> name;
    bool asksForName;
    bool unusable;
};

void PrintTo(const RenameCase& c, std::ostream* os)
{
    *os << c.label;
}

class RenameChangesNothingTest : public RuleEditingTest, public testing::WithParamInterface<RenameCase> {};

TEST_P(RenameChangesNothingTest, KeepsTheNameInListAndFile)
{
    const RenameCase& c = GetParam();
    window();
    answerMessages({c.answer});
    answerInputs({c.name});
    button("按钮_修改规则名")->click();
    EXPECT_EQ(asked().size(), c.asksForName ? 1u : 0u);
    EXPECT_EQ(rules()->item(0)->text(), "58看书");
    EXPECT_EQ(fileBytes(kRulesFile), DefaultRulesText());
    EXPECT_EQ(enabledStates(), (std::vector<bool>{true, true, true, true}));
    ASSERT_EQ(shown().size(), c.unusable ? 2u : 1u);
    if (c.unusable) {
        EXPECT_EQ(shown()[1].text, kUnusableName);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(RuleEditing, RenameChangesNothingTest, testing::Values(
    RenameCase{"same name once spaces are gone", resultYes, QStringLiteral("5 8看 书"), true, false},
    RenameCase{"answered no", resultNo, QStringLiteral("别的"), false, false},
    RenameCase{"timed out", resultTimedOut, QStringLiteral("别的"), false, false},
    RenameCase{"name prompt cancelled", resultYes, std::nullopt, true, false},
    RenameCase{"only spaces", resultYes, QStringLiteral("  "), true, false},
    RenameCase{"name the file cannot hold", resultYes, QStringLiteral("a/b"), true, true},
    RenameCase{"quote in the name", resultYes, QStringLiteral("a\"b"), true, true}
));
// clang-format on

TEST_F(RuleEditingTest, DeletingSelectsTheRuleAboveOrTheNewFirstAndReloads)
{
    window();
    std::string expected = DefaultRulesText();
    rules()->setCurrentRow(5);  // 蕃茄小说
    button("按钮_删除")->click();
    expected = replaceOnce(expected, "\r\n" + defaultRuleLine("蕃茄小说"), "");
    EXPECT_EQ(fileBytes(kRulesFile), expected);
    EXPECT_EQ(rules()->count(), 15);
    EXPECT_EQ(rules()->currentRow(), 4);
    EXPECT_EQ(field("编辑框_网址"), toQString(store_.readRule(5).siteAddress));
    EXPECT_EQ(rules()->item(4)->text(), "零点看书");

    rules()->setCurrentRow(0);
    button("按钮_删除")->click();
    expected = replaceOnce(expected, "\r\n" + defaultRuleLine("58看书"), "");
    EXPECT_EQ(fileBytes(kRulesFile), expected);
    EXPECT_EQ(rules()->currentRow(), 0);
    EXPECT_EQ(rules()->item(0)->text(), "青豆小说");
    EXPECT_EQ(field("编辑框_网址"), toQString(store_.readRule(1).siteAddress));
    EXPECT_EQ(field("编辑框_小说名正则"), "var b_tit='(.*?)',b_id");
    EXPECT_TRUE(shown().empty());

    // An edit now lands in the rule shown.
    typeText(control<QLineEdit>("编辑框_章节内容右"), "y");
    EXPECT_EQ(store_.readRule(1).contentRightMarker, "</div>y");
    EXPECT_EQ(store_.readRule(1).name, gbk("青豆小说"));
}

TEST_F(RuleEditingTest, TheLastRuleCannotBeDeleted)
{
    window();
    while (rules()->count() > 1) {
        button("按钮_删除")->click();
    }
    ASSERT_TRUE(shown().empty());
    const std::string oneRule = fileBytes(kRulesFile);
    button("按钮_删除")->click();
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].caption, "删除提示");
    EXPECT_EQ(shown()[0].text, "老大,要不要这么狠?留条活命吧!");
    EXPECT_EQ(shown()[0].timeoutMs, 3000);
    EXPECT_EQ(shown()[0].style, styleError);
    EXPECT_EQ(rules()->count(), 1);
    EXPECT_EQ(fileBytes(kRulesFile), oneRule);
    EXPECT_EQ(store_.ruleNames(), std::vector<std::string>{gbk("梅语小说网")});
}

TEST_F(RuleEditingTest, FailedDeletionIsReported)
{
    window();
    ASSERT_TRUE(replaceFileContent(kRulesFile, "not xml"));
    button("按钮_删除")->click();
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].caption, "删除提示");
    EXPECT_EQ(shown()[0].text, "删除失败，请重试!");
    EXPECT_EQ(shown()[0].style, styleInformation);
    EXPECT_EQ(rules()->count(), 16);
}

TEST_F(RuleEditingTest, TypingRewritesTheLeftMarkerAfterEveryCharacter)
{
    window();
    const std::string before = store_.readRule(1).contentLeftMarker;
    auto* left = control<QLineEdit>("编辑框_章节内容左");
    std::string typed;
    for (const QString& ch : {QStringLiteral("a"), QStringLiteral("中"), QStringLiteral("&")}) {
        typeText(left, ch);
        typed += toGbk(ch);
        EXPECT_EQ(store_.readRule(1).contentLeftMarker, before + typed);
    }
    const std::string attribute = gbk("章节内容左侧=\"&lt;div id=&quot;content&quot; class=&quot;content&quot;&gt;");
    EXPECT_EQ(fileBytes(kRulesFile), replaceOnce(DefaultRulesText(), attribute + "\"", attribute + gbk("a中&amp;\"")));
    EXPECT_EQ(window().ruleSettings()->contentLeftMarker(), before + typed);
}

TEST_F(RuleEditingTest, LineBreakTypedInAPatternIsStoredAsCrLf)
{
    window();
    const std::string before = store_.readRule(1).novelNamePattern;
    auto* pattern = control<QPlainTextEdit>("编辑框_小说名正则");
    QTest::keyClick(pattern, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(pattern, Qt::Key_Return);
    typeText(pattern, "x");
    EXPECT_EQ(store_.readRule(1).novelNamePattern, before + "\r\nx");
    EXPECT_EQ(window().ruleSettings()->novelNamePattern(), before + "\r\nx");
}

TEST_F(RuleEditingTest, EditingOneFieldLeavesAPatternEndingInLoneCrAlone)
{
    window();
    rules()->setCurrentRow(10);  // 52中文网: its name pattern ends in a lone CR
    const SiteRule before = store_.readRule(11);
    ASSERT_EQ(before.novelNamePattern.back(), '\r');
    typeText(control<QLineEdit>("编辑框_章节内容右"), "z");
    SiteRule expected = before;
    expected.contentRightMarker += "z";
    EXPECT_EQ(store_.readRule(11), expected);
    EXPECT_EQ(window().ruleSettings()->novelNamePattern(), before.novelNamePattern);
}

// The five default rules whose patterns end in a lone CR: editing such a
// pattern keeps the lone CR, which a CR LF would change what it matches.
TEST_F(RuleEditingTest, EditingAPatternEndingInLoneCrKeepsIt)
{
    window();
    const std::pair<int, const char*> patterns[] = {
        {8, "编辑框_小说名正则"}, {9, "编辑框_小说作者正则"},  {10, "编辑框_小说名正则"},
        {11, "编辑框_列表正则"},  {13, "编辑框_小说作者正则"},
    };
    for (const auto& [row, box] : patterns) {
        rules()->setCurrentRow(row);
        const SiteRule before = store_.readRule(row + 1);
        auto* pattern = control<QPlainTextEdit>(box);
        QTest::keyClick(pattern, Qt::Key_Home, Qt::ControlModifier);
        typeText(pattern, "^");
        const SiteRule after = store_.readRule(row + 1);
        const std::string& was = box == std::string("编辑框_列表正则")     ? before.chapterListPattern
                                 : box == std::string("编辑框_小说名正则") ? before.novelNamePattern
                                                                           : before.authorPattern;
        const std::string& now = box == std::string("编辑框_列表正则")     ? after.chapterListPattern
                                 : box == std::string("编辑框_小说名正则") ? after.novelNamePattern
                                                                           : after.authorPattern;
        ASSERT_TRUE(was.ends_with("\r") && !was.ends_with("\r\n")) << row;
        EXPECT_EQ(now, "^" + was) << row;
    }
}

TEST_F(RuleEditingTest, SaveThatFailsIsToldOnceUntilASaveSucceeds)
{
    window();
    const QString failure = QStringLiteral("规则保存失败：无法写入下载配置.xml\r\n(3秒后自动关闭)");
    auto* left = control<QLineEdit>("编辑框_章节内容左");
    {
        const test::FileSizeLimit full(16);
        typeText(left, "abc");
        control<QCheckBox>("选择框_页面抓取")->click();
    }
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].caption, "提示");
    EXPECT_EQ(shown()[0].text, failure);
    EXPECT_EQ(shown()[0].timeoutMs, 3000);
    EXPECT_EQ(shown()[0].style, styleError);
    EXPECT_EQ(fileBytes(kRulesFile), DefaultRulesText());

    // A save that works ends the failure; the next failure is told again.
    typeText(left, "d");
    EXPECT_EQ(store_.readRule(1).contentLeftMarker, toGbk(left->text()));
    {
        const test::FileSizeLimit full(16);
        typeText(left, "e");
    }
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(shown()[1].text, failure);
}

TEST_F(RuleEditingTest, AddingARuleThatCannotBeSavedIsToldAndDropped)
{
    window();
    beginAdd(QStringLiteral("新站"));
    answerMessages({resultYes});
    {
        const test::FileSizeLimit full(16);
        addButton()->click();
    }
    ASSERT_EQ(shown().size(), 2u);
    EXPECT_EQ(shown()[1].text, QStringLiteral("规则保存失败：无法写入下载配置.xml\r\n(3秒后自动关闭)"));
    EXPECT_EQ(rules()->count(), 16);
    EXPECT_EQ(addButton()->text(), "增加");
    EXPECT_EQ(fileBytes(kRulesFile), DefaultRulesText());
}

TEST_F(RuleEditingTest, PanelDoesNotReactWhileAJobRuns)
{
    test::NovelSiteOptions options;
    options.chapters = 40;
    options.delay = std::chrono::milliseconds(200);
    test::NovelSite site(options);
    window();
    const auto pokeThePanel = [&] {
        EXPECT_FALSE(window().ruleSettings()->isEnabled());
        addButton()->click();
        button("按钮_修改规则名")->click();
        button("按钮_删除")->click();
        typeText(control<QLineEdit>("编辑框_章节内容左"), "x");
        typeText(control<QPlainTextEdit>("编辑框_列表正则"), "x");
    };

    control<QLineEdit>("编辑框_章节列表网址")->setText(QString::fromStdString(site.listUrl()));
    button("按钮_获取章节标题")->click();
    pokeThePanel();
    ASSERT_TRUE(waitUntil([&] { return button("按钮_获取章节标题")->isEnabled(); }));

    QTimer::singleShot(100, [&] { pokeThePanel(); });
    QTimer::singleShot(150, [&] { button("按钮_停止")->click(); });
    button("按钮_下载章节内容")->click();

    EXPECT_TRUE(asked().empty());
    ASSERT_EQ(shown().size(), 1u);  // the retrieval's own message
    EXPECT_EQ(shown()[0].text, "小说章节名获取完毕\r\n(3秒后自动关闭)");
    EXPECT_EQ(fileBytes(kRulesFile), DefaultRulesText());
    EXPECT_EQ(rules()->count(), 16);
    EXPECT_TRUE(window().ruleSettings()->isEnabled());
}

// ---- further settings -------------------------------------------------------

TEST_F(RuleEditingTest, FurtherSettingsDialogSavesTheRuleOptionsAndCancelLeavesThemAlone)
{
    window();
    rules()->setCurrentRow(2);
    QAction* more = window().ruleSettings()->findChild<QAction*>(QStringLiteral("动作_更多设置"));
    ASSERT_NE(more, nullptr);
    EXPECT_TRUE(rules()->actions().contains(more));  // the rule list's context menu
    const std::string before = readFileBytes(u8"下载配置.xml").value_or("");

    const auto answer = [](bool accept) {
        QTimer::singleShot(0, [accept] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QSpinBox*>(QStringLiteral("最大并发"))->setValue(3);
            dialog->findChild<QCheckBox*>(QStringLiteral("目录倒序"))->setChecked(true);
            dialog->findChild<QPlainTextEdit*>(QStringLiteral("去除文字"))
                ->setPlainText(QStringLiteral("水印一\n水印二"));
            accept ? dialog->accept() : dialog->reject();
        });
    };
    answer(false);
    more->trigger();
    EXPECT_EQ(readFileBytes(u8"下载配置.xml").value_or(""), before);

    answer(true);
    more->trigger();
    const RuleOptions stored = RuleStore(u8"下载配置.xml").readRule(3).options;
    EXPECT_EQ(stored.maxConcurrency, 3);
    EXPECT_TRUE(stored.reverseList);
    EXPECT_EQ(stored.removeTexts, (std::vector<std::string>{gbk("水印一"), gbk("水印二")}));
    EXPECT_EQ(window().ruleSettings()->ruleOptions(), stored);
    EXPECT_EQ(RuleStore(u8"下载配置.xml").readRule(2).options, RuleOptions{});
}
