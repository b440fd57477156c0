// Rules passed on as files: export and import round trips byte for byte,
// name clashes, and files that are refused without a byte written.
#include "rules/RuleSharing.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "rules/DefaultRules.h"
#include "support/Gbk.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using velmora::test::gbk;

const std::string kHead = "<?xml version=\"1.0\" encoding=\"gb18030\"?>\r\n";

// One rule element line, UTF-8; `extra` stands among the attributes as a
// hand-edited file may have it.
std::string ruleLine(std::string_view name, std::string_view extra = "", std::string_view host = "")
{
    return std::string("<") + std::string(name) + " 网址=\"http://" + std::string(host.empty() ? name : host)
           + ".example/\"" + std::string(extra)
           + " 章节列表正则表达式=\"&lt;li&gt;&lt;a href=&quot;(.*?)&quot;&gt;(.*?)&lt;/a&gt;\" 小说名正则表达式=\"n\""
             " 作者正则表达式=\"a\" 章节内容左侧=\"&lt;div id=&quot;c&quot;&gt;\" 章节内容右侧=\"&lt;/div&gt;\""
             " 页面抓取=\"假\"/>";
}

// A rules file in the saved layout, GBK.
std::string rulesFile(const std::vector<std::string>& lines)
{
    std::string text = kHead + "<小说站点>";
    for (const std::string& line : lines) {
        text += "\r\n\t" + line;
    }
    return gbk(text + "\r\n</小说站点>");
}

class RuleSharingTest : public testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path()
                  / ("velmora-sharing-" + std::to_string(::getpid()) + "-"
                     + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path write(const std::string& name, const std::string& bytes)
    {
        const fs::path file = folder_ / name;
        EXPECT_TRUE(replaceFileContent(file, bytes));
        return file;
    }
    std::string bytes(const fs::path& file) { return readFileBytes(file).value_or("<missing>"); }

    fs::path folder_;
};

TEST_F(RuleSharingTest, ExportWritesWhatTheRulesFileWouldHold)
{
    const std::vector<std::string> lines = {ruleLine("甲站"), ruleLine("乙站", " 编码=\"GBK\""), ruleLine("丙站")};
    const RuleStore store(write("rules.xml", rulesFile(lines)));

    struct Case {
        std::vector<int> positions;
        std::vector<std::string> lines;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {{}, lines},                      // all, in file order
        {{2}, {lines[1]}},                // one rule, its extra attribute kept
        {{3, 1}, {lines[2], lines[0]}},   // in the order asked for
    };
    // clang-format on
    for (const Case& c : cases) {
        const fs::path out = folder_ / "out.xml";
        const ShareResult result = exportRules(store, c.positions, out);
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(bytes(out), rulesFile(c.lines));
        EXPECT_EQ(result.names.size(), c.lines.size());
    }
    // The default rules exported whole are the default rules file.
    const RuleStore defaults(folder_ / "default.xml");
    defaults.ensureRulesFile();
    ASSERT_TRUE(exportRules(defaults, {}, folder_ / "all.xml").ok);
    EXPECT_EQ(bytes(folder_ / "all.xml"), DefaultRulesText());

    const ShareResult missing = exportRules(store, {4}, folder_ / "none.xml");
    EXPECT_FALSE(missing.ok);
    EXPECT_FALSE(fs::exists(folder_ / "none.xml"));
}

TEST_F(RuleSharingTest, ImportAppendsAndRenamesClashesUntilFree)
{
    const RuleStore store(write("rules.xml", rulesFile({ruleLine("甲站"), ruleLine("甲站1")})));
    // "甲站" clashes twice over, and the file itself holds "丁站" twice.
    const fs::path shared =
        write("shared.xml", rulesFile({ruleLine("甲站", " 编码=\"UTF-8\""), ruleLine("丁站"), ruleLine("丁站")}));
    const ShareResult result = importRules(store, shared);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(result.names, (std::vector<std::string>{gbk("甲站11"), gbk("丁站"), gbk("丁站1")}));
    EXPECT_EQ(bytes(store.file()),
              rulesFile({ruleLine("甲站"), ruleLine("甲站1"), ruleLine("甲站11", " 编码=\"UTF-8\"", "甲站"),
                         ruleLine("丁站"), ruleLine("丁站1", "", "丁站")}));

    // Round trip: what was imported exports as it came, but for the names.
    ASSERT_TRUE(exportRules(store, {4}, folder_ / "back.xml").ok);
    EXPECT_EQ(bytes(folder_ / "back.xml"), rulesFile({ruleLine("丁站")}));
}

TEST_F(RuleSharingTest, AddedRuleTakesAFreeName)
{
    const RuleStore store(write("rules.xml", rulesFile({ruleLine("甲站"), ruleLine("甲站1")})));
    SiteRule rule;
    rule.name = gbk("甲站");
    rule.siteAddress = "http://x.example/";
    const ShareResult added = addRuleUnderFreeName(store, rule);
    ASSERT_TRUE(added.ok) << added.message;
    EXPECT_EQ(added.names, std::vector<std::string>{gbk("甲站11")});
    EXPECT_EQ(store.readRule(3).siteAddress, rule.siteAddress);
    rule.name = "a b";
    EXPECT_FALSE(addRuleUnderFreeName(store, rule).ok);
    EXPECT_EQ(store.ruleNames().size(), 3u);
}

TEST_F(RuleSharingTest, RefusedFilesWriteNothing)
{
    const std::string original = rulesFile({ruleLine("甲站")});
    const RuleStore store(write("rules.xml", original));
    struct Case {
        const char* name;
        std::string bytes;
        const char* says;  // UTF-8 part of the message
    };
    const std::vector<Case> cases = {
        {"NotXml", "just some text", "XML"},
        {"CutShort", rulesFile({ruleLine("乙站")}).substr(0, 60), "XML"},
        {"OtherRoot", gbk(kHead + "<书签><乙站 网址=\"x\"/></书签>"), "不是规则文件"},
        {"NoRules", gbk(kHead + "<小说站点>\r\n</小说站点>"), "没有规则"},
        {"ElementWithoutAddress", gbk(kHead + "<小说站点>\r\n\t<乙站 名字=\"x\"/>\r\n</小说站点>"), "不是规则"},
    };
    for (const Case& c : cases) {
        const ShareResult result = importRules(store, write("bad.xml", c.bytes));
        EXPECT_FALSE(result.ok) << c.name;
        EXPECT_NE(result.message.find(c.says), std::string::npos) << c.name << ": " << result.message;
        EXPECT_EQ(bytes(store.file()), original) << c.name;
    }
    const ShareResult absent = importRules(store, folder_ / "absent.xml");
    EXPECT_FALSE(absent.ok);
    EXPECT_EQ(bytes(store.file()), original);
}

}  // namespace
