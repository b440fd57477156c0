// The sixteen rules the program ships with, read from the default rules file
// and run through the chapter-list parsing that retrieval uses, each over a
// small page written in its site's style.
#include "job/ChapterList.h"

#include "core/Encoding.h"
#include "rules/DefaultRules.h"
#include "rules/RuleStore.h"
#include "support/Gbk.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace velmora;

namespace {

using Chapters = std::vector<std::pair<std::string, std::string>>;

// All texts UTF-8 here; the test turns them into GBK.
struct SiteCase {
    std::string rule;  // the name of a shipped rule
    std::string page;
    std::string name;
    std::string author;
    Chapters chapters;
};

void PrintTo(const SiteCase& c, std::ostream* os)
{
    *os << c.rule;
}

using velmora::test::gbk;

const std::string kMetaHead = "<head>\r\n<meta charset=\"gbk\" />\r\n"
                              "<meta property=\"og:novel:book_name\" content=\"山海旧梦\"/>\r\n"
                              "<meta property=\"og:novel:author\" content=\"林一舟\"/>\r\n</head>\r\n";

// clang-format off
const std::vector<SiteCase> kSites = {
    {"58看书",
     kMetaHead + "<ul class=\"list\">\r\n"
                 "<li class=\"chapter\"><a href=\"/b/1/1.html\" title=\"第一章 山门\">第一章 山门</a></li>\r\n"
                 "<li class=\"chapter\"><a href=\"/b/1/2.html\" title=\"第二章 夜雨\">第二章 夜雨</a></li>\r\n"
                 "<li class=\"more\"><a href=\"/b/1/all.html\">全部章节</a></li>\r\n</ul>",
     "山海旧梦", "林一舟", {{"/b/1/1.html", "第一章 山门"}, {"/b/1/2.html", "第二章 夜雨"}}},

    {"青豆小说",
     "<script>var b_tit='云中客',b_id=88;</script>\r\n"
     "<p>作者：<span><a href=\"/search.php?q=苏白\">苏白</a></span></p>\r\n"
     "<ul><li><a href=\"/88/1.html\">序章</a></li>\r\n<li><a href=\"/88/2.html\">第一回</a></li></ul>",
     "云中客", "苏白", {{"88/1.html", "序章"}, {"88/2.html", "第一回"}}},

    {"Freexs免费小说网",
     "<meta name=\"keywords\" content=\"风起长河\">\r\n<a href=\"/s.php?author=陈远\">陈远</a>\r\n<table><tr>"
     "<td><a href='/r/5/1.htm'>第1章</a></td><td><a href=\"/r/5/2.htm\">第2章</a></td>\r\n"
     "<td><a href=\"/r/5/3.htm\">第3章</a></td></tr></table>",
     "风起长河", "陈远", {{"/r/5/1.htm", "第1章"}, {"/r/5/2.htm", "第2章"}, {"/r/5/3.htm", "第3章"}}},

    {"悠读文学",
     kMetaHead + "<li><a href=\"/book/12/1001.html\" title=\"第一章\" target=\"_blank\">第一章</a></li>\r\n"
                 "<li><a href=\"/book/12/ad.html\" title=\"推荐\" target=\"_blank\">别的书</a></li>\r\n"
                 "<li><a href=\"/book/12/1002.html\" title=\"第二章\" target=\"_blank\">第二章</a></li>\r\n",
     "山海旧梦", "林一舟", {{"1001.html", "第一章"}, {"1002.html", "第二章"}}},

    {"零点看书",
     "<div id=\"info\">\r\n<h1>剑落星河</h1>\r\n<p>作&nbsp;&nbsp;&nbsp;&nbsp;者：周默</p>\r\n"
     "<p>更新时间：2020-01-01</p>\r\n</div>\r\n<dl>\r\n<dt>正文</dt>\r\n"
     "<dd><a href=\"/0_7/1.html\">第一章 出山</a></dd>\r\n<dd><a href=\"/0_7/2.html\">第二章 入城</a></dd>\r\n</dl>",
     "剑落星河", "周默", {{"/0_7/1.html", "第一章 出山"}, {"/0_7/2.html", "第二章 入城"}}},

    {"蕃茄小说",
     "<H1>青灯记</H1>\n<p>作者:何川</p>\n<DD><A HREF=\"/9/1.html\">一</A></DD>\n"
     "<dd><a href=\"/9/2.html\">二</a></dd>\n<dd><a href=\"/9/3.html\">三</a></dd>\n",
     "青灯记", "何川", {{"/9/1.html", "一"}, {"/9/2.html", "二"}, {"/9/3.html", "三"}}},

    {"吾读小说网",
     "<link rel=\"stylesheet\" href=\"/s.css\">\r\n<h1>书名示例</h1>\r\n<p>作　者：王五</p>\r\n"
     "<ul><li class=\"c\"><a href=\"1.html\">第一节</a></li>\r\n"
     "<li><a href=\"2.html\"><b>加粗</b></a></li>\r\n<li class=\"c\"><a href=\"3.html\">第三节</a></li></ul>",
     "书名示例", "王五", {{"1.html", "第一节"}, {"3.html", "第三节"}}},

    {"2345小说（仅测试）",
     "<div class=\"crumb\"><a href=\"/\">首页</a> &gt; <a href=\"/b/3/\" class=\"cur\">长夜行</a></div>\r\n"
     "<span>作者：<a href=\"/author/li/\" target=\"_blank\">李四</a></span>\r\n<ul>\r\n"
     "<li data-id=\"1\"><a href=\"/b/3/1.html\" target=\"_blank\">第一章</a></li>\r\n"
     "<li data-id=\"2\"><a href=\"/b/3/2.html\" target=\"_blank\">第二章</a></li>\r\n</ul>",
     "长夜行", "李四", {{"/b/3/1.html", "第一章"}, {"/b/3/2.html", "第二章"}}},

    {"紫幽阁",
     "<h1>紫竹林</h1>\r\n<a href=\"/search.php?author=赵六\">赵六</a>\r\n"
     "<li class=\"chapter\"><a href=\"/z/1.html\" title=\"x\">卷一</a></li>\r\n"
     "<li class=\"chapter\"><a href=\"/z/2.html\" title=\"y\">卷二</a></li>\r\n",
     "紫竹林", "赵六", {{"/z/1.html", "卷一"}, {"/z/2.html", "卷二"}}},

    {"摘阅网",
     "<h1><a href=\"/\" title=\"摘星手\">摘星手</a></h1>\r\n<span>作者：<strong>钱七</strong></span>\r\n"
     "<li><a style=\"\" href=\"/x/1.html\">第一篇</a></li><li><a style=\"\" href=\"/x/2.html\">第二篇</a></li>\r\n",
     "摘星手", "钱七", {{"/x/1.html", "第一篇"}, {"/x/2.html", "第二篇"}}},

    {"52中文网",
     "<h1 class=\"bookname\">五二书</h1>\r\n<meta name=\"x\" content=\"author=孙八\"/>\r\n<ul>\r\n"
     "<li style=\"width:50%\"><a href='/52/1.html' title='a'>第一章</a> <a class=\"r\" href=\"/52/2.html\">第二章</a> "
     "</li>\r\n<li style=\"width:50%\"><a href=\"/52/3.html\">第三章</a><a href='/52/4.html'>第四章</a></li>\r\n</ul>",
     "五二书", "孙八",
     {{"/52/1.html", "第一章"}, {"/52/2.html", "第二章"}, {"/52/3.html", "第三章"}, {"/52/4.html", "第四章"}}},

    {"燃文小说",
     "<script>var articlename='燃灯';var author='周九';</script>\r\n<table><tr>\r\n"
     "<td><div class=\"dccss\"><a href=\"1.html\" alt=\"第一章\">第一章</a></div></td>\r\n"
     "<td><div class=\"dccss\"><a href=\"2.html\" alt=\"第二章\">第二章</a></div></td>\r\n</tr></table>",
     "燃灯", "周九", {{"1.html", "第一章"}, {"2.html", "第二章"}}},

    {"一本读全本小说网",
     kMetaHead + "<li><a href=\"/y/1.html\">上</a></li>\r\n<li><a href=\"/y/2.html\">中</a></li>\r\n"
                 "<li><a href=\"/y/3.html\">下</a></li>\r\n",
     "山海旧梦", "林一舟", {{"/y/1.html", "上"}, {"/y/2.html", "中"}, {"/y/3.html", "下"}}},

    {"爪机书屋",
     "<a href=\"/\">首页</a>\r\n<h1>《掌中书》</h1>\r\n作者：吴十<br />\r\n"
     "<a href=\"/m/1.html\" class=\"c\">（第一章）</a><br />\r\n<a href=\"/m/2.html\">（第二章）</a><br />\r\n",
     "掌中书", "吴十", {{"/m/1.html", "第一章"}, {"/m/2.html", "第二章"}}},

    {"顶点小说",
     "<h3>顶上风光作者：郑一</h3>\r\n<table><tr><td class=\"L\"><a href=\"1.html\">第一章</a></td>"
     "<td class=\"L\"><a href=\"2.html\">第二章</a></td></tr></table>",
     "顶上风光", "郑一", {{"1.html", "第一章"}, {"2.html", "第二章"}}},

    {"梅语小说网",
     "<meta property=\"og:title\" content=\"梅边\"/>\r\n<meta property=\"og:novel:author\" content=\"冯二\"/>\r\n"
     "<li class=\"list-group-item col-sm-4\"><a href=\"/m/1.html\" title=\"一\">第一章</a></li>\r\n"
     "<li class=\"list-group-item col-sm-4\"><a href=\"/m/2.html\" title=\"二\">第二章</a></li>\r\n",
     "梅边", "冯二", {{"/m/1.html", "第一章"}, {"/m/2.html", "第二章"}}},
};
// clang-format on

// The shipped rules, as the rules store reads them from a fresh rules file.
const std::vector<SiteRule>& shippedRules()
{
    static const std::vector<SiteRule> rules = [] {
        const TempFolder folder("velmora-default-rules");
        const RuleStore store(folder / u8"下载配置.xml");
        store.ensureRulesFile();
        std::vector<SiteRule> out;
        for (int position = 1; position <= static_cast<int>(store.ruleNames().size()); ++position) {
            out.push_back(store.readRule(position));
        }
        return out;
    }();
    return rules;
}

const SiteRule* shippedRule(std::string_view utf8Name)
{
    const std::vector<SiteRule>& rules = shippedRules();
    const auto it =
        std::find_if(rules.begin(), rules.end(), [&](const SiteRule& r) { return r.name == gbk(utf8Name); });
    return it == rules.end() ? nullptr : &*it;
}

class SiteRulePatternsTest : public testing::TestWithParam<SiteCase> {};

TEST_P(SiteRulePatternsTest, ReadsNameAuthorAndChapters)
{
    const SiteCase& c = GetParam();
    const SiteRule* rule = shippedRule(c.rule);
    ASSERT_NE(rule, nullptr) << c.rule;
    const ChapterListPage page =
        parseChapterList(gbk(c.page), rule->novelNamePattern, rule->authorPattern, rule->chapterListPattern);
    EXPECT_EQ(page.novelName, gbk(c.name));
    EXPECT_EQ(page.author, gbk(c.author));
    std::vector<ChapterLink> expected;
    for (const auto& [address, title] : c.chapters) {
        expected.push_back({gbk(address), gbk(title)});
    }
    EXPECT_EQ(page.chapters, expected);
}

INSTANTIATE_TEST_SUITE_P(DefaultRules, SiteRulePatternsTest, testing::ValuesIn(kSites),
                         [](const testing::TestParamInfo<SiteCase>& caseInfo) {
                             return "Rule" + std::to_string(caseInfo.index + 1);
                         });

TEST(SiteRulePatternsTest, EveryDefaultRuleIsCovered)
{
    ASSERT_EQ(shippedRules().size(), 16u);
    EXPECT_EQ(kSites.size(), shippedRules().size());
    for (const SiteRule& rule : shippedRules()) {
        EXPECT_TRUE(std::any_of(kSites.begin(), kSites.end(), [&](const SiteCase& c) {
            return gbk(c.rule) == rule.name;
        })) << encoding::gbkToUtf8(rule.name);
    }
}

}  // namespace
