// The optional rule settings: stored as attributes after the standard seven,
// only when set, so that rules without them, and the default rules file,
// stay byte for byte as they are.
#include "rules/RuleOptions.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "rules/DefaultRules.h"
#include "rules/RuleStore.h"
#include "rules/RulesXml.h"
#include "support/Gbk.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using velmora::test::gbk;

const std::string kHead = "<?xml version=\"1.0\" encoding=\"gb18030\"?>\r\n";
const std::string kStandard =
    " 网址=\"http://a.example/\" 章节列表正则表达式=\"l\" 小说名正则表达式=\"n\" 作者正则表达式=\"a\""
    " 章节内容左侧=\"x\" 章节内容右侧=\"y\" 页面抓取=\"假\"";

// A rules file of one rule 甲 with the standard attributes, then `extra`.
std::string oneRuleFile(std::string_view extra)
{
    return gbk(kHead + "<小说站点>\r\n\t<甲" + kStandard + std::string(extra) + "/>\r\n</小说站点>");
}

RuleOptions everyOption()
{
    RuleOptions o;
    o.pageEncoding = PageEncoding::big5;
    o.removeRepeatedLinks = false;
    o.reverseList = true;
    o.nextListPagePattern = "<a href=\"(.*?)\">next</a>\r";
    o.nextChapterPagePattern = gbk("<a href=\"(.*?)\">下一页</a>");
    o.maxConcurrency = 4;
    o.minIntervalMs = 1500;
    o.blockPageTexts = {gbk("请稍后再试"), "Just a moment"};
    o.removeTexts = {gbk("本章未完"), "ad & more"};
    return o;
}

const std::string kEveryOption =
    " 网页编码=\"big5\" 去重=\"假\" 目录倒序=\"真\" 目录下一页=\"&lt;a href=&quot;(.*?)&quot;&gt;next&lt;/a&gt;\r\""
    " 章节下一页=\"&lt;a href=&quot;(.*?)&quot;&gt;下一页&lt;/a&gt;\" 最大并发=\"4\" 请求间隔毫秒=\"1500\""
    " 拦截页文字=\"请稍后再试\r\nJust a moment\" 去除文字=\"本章未完\r\nad &amp; more\"";

}  // namespace

class RuleOptionsTest : public test::TempFolderTest {
protected:
    RuleStore store() const { return RuleStore(folder_ / "rules.xml"); }
    void put(const std::string& bytes) const { ASSERT_TRUE(replaceFileContent(store().file(), bytes)); }
    std::string bytes() const { return readFileBytes(store().file()).value_or("<missing>"); }
};

TEST_F(RuleOptionsTest, RuleWithAndWithoutOptionsRoundTripsByteForByte)
{
    for (const std::string& extra : {std::string(), kEveryOption}) {
        const std::string file = oneRuleFile(extra);
        put(file);
        const SiteRule rule = store().readRule(1);
        EXPECT_EQ(rule.options, extra.empty() ? RuleOptions{} : everyOption());
        ASSERT_TRUE(store().updateRule(1, RuleFields::all(), rule));
        EXPECT_EQ(bytes(), file);

        // Appended anew, the rule is written the same way.
        ASSERT_TRUE(store().deleteRule(1));
        ASSERT_TRUE(store().appendRule(rule));
        EXPECT_EQ(bytes(), file);
    }
}

TEST_F(RuleOptionsTest, DefaultRulesFileStaysByteForByte)
{
    put(DefaultRulesText());
    for (int position = 1; position <= 16; ++position) {
        const SiteRule rule = store().readRule(position);
        EXPECT_EQ(rule.options, RuleOptions{}) << position;
        ASSERT_TRUE(store().updateRule(position, RuleFields::all(), rule));
    }
    EXPECT_EQ(bytes(), DefaultRulesText());
}

TEST_F(RuleOptionsTest, SettingOptionsAddsAndRemovesOnlyTheirAttributesAndKeepsUnknownOnes)
{
    put(oneRuleFile(" 备注=\"mine\" 最大并发=\"3\" 未来=\"x\""));
    SiteRule values;
    values.options.reverseList = true;
    values.options.minIntervalMs = 200;
    ASSERT_TRUE(store().updateRule(1, {RuleField::options}, values));
    EXPECT_EQ(bytes(), oneRuleFile(" 备注=\"mine\" 未来=\"x\" 目录倒序=\"真\" 请求间隔毫秒=\"200\""));

    values.options.minIntervalMs = 900;
    ASSERT_TRUE(store().updateRule(1, {RuleField::options, RuleField::siteAddress},
                                   SiteRule{.siteAddress = "http://a.example/", .options = values.options}));
    EXPECT_EQ(bytes(), oneRuleFile(" 备注=\"mine\" 未来=\"x\" 目录倒序=\"真\" 请求间隔毫秒=\"900\""));

    // Every other change, and a deletion of another rule, keep all of them.
    ASSERT_TRUE(store().appendRule(SiteRule{.name = gbk("乙")}));
    ASSERT_TRUE(store().updateRule(1, {RuleField::name, RuleField::contentLeftMarker},
                                   SiteRule{.name = gbk("甲"), .contentLeftMarker = "x"}));
    ASSERT_TRUE(store().deleteRule(2));
    EXPECT_EQ(bytes(), oneRuleFile(" 备注=\"mine\" 未来=\"x\" 目录倒序=\"真\" 请求间隔毫秒=\"900\""));

    ASSERT_TRUE(store().updateRule(1, {RuleField::options}, SiteRule{}));
    EXPECT_EQ(bytes(), oneRuleFile(" 备注=\"mine\" 未来=\"x\""));
    EXPECT_EQ(store().readRule(1, {RuleField::siteAddress}).options, RuleOptions{});
}

struct StoredValueCase {
    std::string attributes;  // UTF-8
    RuleOptions expected;
};

void PrintTo(const StoredValueCase& c, std::ostream* os)
{
    *os << c.attributes;
}

class StoredValueTest : public testing::TestWithParam<StoredValueCase> {};

TEST_P(StoredValueTest, ReadsAsTheProgramUnderstandsIt)
{
    const std::optional<XmlElement> root = parseXmlDocument(gbk("<r><甲" + GetParam().attributes + "/></r>"));
    ASSERT_TRUE(root);
    EXPECT_EQ(readRuleOptions(root->children.at(0)), GetParam().expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, StoredValueTest, testing::Values(
    StoredValueCase{"", RuleOptions{}},
    StoredValueCase{" 网页编码=\"UTF-8\"", RuleOptions{.pageEncoding = PageEncoding::utf8}},
    StoredValueCase{" 网页编码=\"gbk\"", RuleOptions{.pageEncoding = PageEncoding::gbk}},
    StoredValueCase{" 网页编码=\"latin1\"", RuleOptions{}},
    StoredValueCase{" 去重=\"真\"", RuleOptions{}},
    StoredValueCase{" 去重=\"no\"", RuleOptions{}},
    StoredValueCase{" 目录倒序=\"假\"", RuleOptions{}},
    StoredValueCase{" 最大并发=\"20\"", RuleOptions{.maxConcurrency = 20}},
    StoredValueCase{" 最大并发=\"21\"", RuleOptions{}},
    StoredValueCase{" 最大并发=\"0\"", RuleOptions{}},
    StoredValueCase{" 最大并发=\"-3\"", RuleOptions{}},
    StoredValueCase{" 请求间隔毫秒=\"600000\"", RuleOptions{.minIntervalMs = 600000}},
    StoredValueCase{" 请求间隔毫秒=\"600001\"", RuleOptions{}},
    StoredValueCase{" 请求间隔毫秒=\"5 s\"", RuleOptions{}},
    StoredValueCase{" 去除文字=\"a&#13;&#10;&#13;&#10;b&#10;c&#13;\"", RuleOptions{.removeTexts = {"a", "b", "c"}}},
    StoredValueCase{" 拦截页文字=\"\"", RuleOptions{}}
));
// clang-format on
