// The rule test bench's report against a real loopback site: a good rule,
// each part failing on its own, a captured page, and cancellation.
#include "job/RuleTest.h"

#include "core/Encoding.h"
#include "rules/DefaultRules.h"
#include "rules/RuleStore.h"
#include "support/Gbk.h"
#include "support/LoopbackServer.h"
#include "support/NovelSite.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// The first default rule, whose markup NovelSite serves.
RuleUnderTest defaultRule()
{
    const fs::path file = fs::temp_directory_path() / ("velmora-ruletest-" + std::to_string(::getpid()) + ".xml");
    fs::remove(file);
    RuleStore store(file);
    store.ensureRulesFile();
    const SiteRule rule = store.readRule(1);
    fs::remove(file);
    return {{rule.novelNamePattern, rule.authorPattern, rule.chapterListPattern},
            {rule.contentLeftMarker, rule.contentRightMarker},
            rule.pageCapture};
}

struct PartCase {
    const char* name;
    NovelSiteOptions site;
    bool utf8 = false;  // the gzip-compressed UTF-8 copy of the novel
    void (*change)(RuleUnderTest&) = nullptr;
    int row = 1;
    // Expected:
    bool passed = true;
    int rows = 5;
    bool leftFound = true;
    const char* problem = "";  // a UTF-8 text one of the problems holds
};

void PrintTo(const PartCase& c, std::ostream* os)
{
    *os << c.name;
}

class RuleTestPartTest : public testing::TestWithParam<PartCase> {};

TEST_P(RuleTestPartTest, ReportNamesWhatWorksAndWhatFails)
{
    const PartCase& c = GetParam();
    NovelSite site(c.site);
    RuleUnderTest rule = defaultRule();
    if (c.change != nullptr) {
        c.change(rule);
    }
    const std::string address = c.utf8 ? site.utf8ListUrl() : site.listUrl();
    const RuleTestReport report = testRule(address, rule, c.row);

    EXPECT_EQ(report.listPage.status, 200);
    EXPECT_GT(report.listPage.bytes, 0u);
    EXPECT_EQ(report.listPage.gzip, c.utf8);
    EXPECT_EQ(report.listPage.encoding, c.utf8 ? "UTF-8" : "GBK");
    EXPECT_FALSE(report.listPage.why.empty());
    EXPECT_EQ(report.list.rows, c.rows);
    EXPECT_EQ(report.passed(), c.passed) << reportText(report);
    if (*c.problem != '\0') {
        const std::vector<std::string> problems = report.problems();
        EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
            return p.find(c.problem) != std::string::npos;
        })) << reportText(report);
    }
    if (c.rows == 0) {
        EXPECT_FALSE(report.chapter.tested);
        return;
    }
    // The rows as the window lists them, the addresses as the download asks for them.
    const std::string folder = address.substr(0, address.rfind('/') + 1);
    ASSERT_EQ(report.list.rowViews.size(), 5u);
    EXPECT_EQ(report.list.groupsPerMatch, 2);
    EXPECT_EQ(report.list.matchRanges.size(), 5u);
    EXPECT_EQ(report.list.rowViews[4].title, site.title(5));
    EXPECT_EQ(report.list.rowViews[4].fullAddress, folder + "5.html");
    EXPECT_EQ(report.list.repeatedAddresses, 0);
    EXPECT_EQ(report.chapter.row, c.row);
    EXPECT_EQ(report.chapter.left.found, c.leftFound);
    if (c.passed) {
        EXPECT_EQ(report.novelName.text, site.novelName());
        EXPECT_EQ(report.author.text, site.author());
        EXPECT_EQ(report.chapter.savedText, site.expectedChapterFile(c.row));
        EXPECT_EQ(report.chapter.savedLength, report.chapter.savedText.size());
        EXPECT_TRUE(report.chapter.right.found);
        EXPECT_TRUE(report.chapter.leftovers.empty());
        // The markers' ranges point at the markers in the page.
        const std::string& page = report.chapter.page.text;
        EXPECT_EQ(page.substr(report.chapter.left.begin, report.chapter.left.end - report.chapter.left.begin),
                  rule.markers.left);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RuleTestPartTest, testing::Values(
    PartCase{"GoodRule", {}},
    PartCase{"GoodRuleOnAGzipUtf8PageThirdRow", {}, true, nullptr, 3},
    PartCase{"NamePatternDoesNotCompile", {}, false,
             [](RuleUnderTest& r) { r.patterns.novelName = "<title>(.*?</title>"; }, 1, false, 5, true,
             "小说名正则无法编译"},
    PartCase{"ListPatternMatchesNothing", {}, false,
             [](RuleUnderTest& r) { r.patterns.chapterList = "<dd><a href=\"(.*?)\">(.*?)</a></dd>"; }, 1, false, 0,
             true, "章节列表正则: 无匹配"},
    PartCase{"LeftMarkerMissingFromThePage", {.missingMarker = {1}}, false, nullptr, 1, false, 5, false,
             "左标记"},
    PartCase{"RightMarkerMissing", {}, false,
             [](RuleUnderTest& r) { r.markers.right = "<div id=\"nothing\">"; }, 1, false, 5, true, "右标记"}),
    [](const auto& caseInfo) { return caseInfo.param.name; });

TEST(RuleTestPatternTest, CompileErrorGivesTheEnginesMessageAndTheCharacterPosition)
{
    RuleTestReport report;
    report.listPage.address = "http://127.0.0.1/b/";
    report.listPage.text = gbk("<h1>书名</h1>");
    RuleUnderTest rule;
    // The error comes after two double-byte characters: the offset counts characters.
    rule.patterns.novelName = gbk("<h1>书名(.*?</h1>");
    rule.patterns.author = gbk("作者[:");
    rule.patterns.chapterList = gbk("(a)(b");
    checkListPage(report, rule);
    EXPECT_FALSE(report.novelName.compiles);
    EXPECT_EQ(report.novelName.errorOffset, 15);
    EXPECT_NE(report.novelName.error.find("missing closing parenthesis"), std::string::npos) << report.novelName.error;
    EXPECT_FALSE(report.author.compiles);
    EXPECT_EQ(report.author.errorOffset, 4);
    EXPECT_FALSE(report.list.pattern.compiles);
    EXPECT_EQ(report.list.rows, 0);
    EXPECT_NE(reportJson(report).find("\"compiles\":false"), std::string::npos);
}

TEST(RuleTestPatternTest, RepeatedAddressesAreCounted)
{
    RuleTestReport report;
    report.listPage.address = "http://127.0.0.1/b/1/";
    report.listPage.text = "<a href=\"1.html\">a</a><a href=\"2.html\">b</a><a href=\"1.html\">c</a>";
    RuleUnderTest rule;
    rule.patterns.chapterList = "<a href=\"(.*?)\">(.*?)</a>";
    // The download drops the repeat, so the window lists two rows.
    RuleTestReport dropped = report;
    checkListPage(dropped, rule);
    EXPECT_EQ(dropped.list.rows, 2);
    EXPECT_EQ(dropped.list.repeatedAddresses, 1);
    EXPECT_EQ(dropped.list.droppedRows, 1);
    EXPECT_NE(reportText(dropped).find("（下载时去掉 1 个）"), std::string::npos) << reportText(dropped);
    // A rule that keeps repeats lists all three.
    rule.options.removeRepeatedLinks = false;
    checkListPage(report, rule);
    EXPECT_EQ(report.list.rows, 3);
    EXPECT_EQ(report.list.repeatedAddresses, 1);
    EXPECT_EQ(report.list.droppedRows, 0);
    EXPECT_EQ(report.list.rowViews[2].fullAddress, "http://127.0.0.1/b/1/1.html");
}

// The bench lists a list page's rows exactly as retrieval does for the same
// page: links resolved against a redirected list address, the site's order
// reversed, a newest-chapters block dropped or kept.
struct SameRowsCase {
    const char* name;
    std::string typedPath;           // the list is served at "/b/17_17275/"; other paths redirect there
    std::vector<std::string> links;  // as written in the page, in page order
    void (*change)(RuleOptions&) = nullptr;
    // Expected:
    int rows = 0;
    int repeated = 0;
    int dropped = 0;
    bool resolved = false;
    const char* note = "";           // a UTF-8 text the bench's note holds
};

void PrintTo(const SameRowsCase& c, std::ostream* os) { *os << c.name; }

class RuleTestRowsTest : public testing::TestWithParam<SameRowsCase> {};

TEST_P(RuleTestRowsTest, BenchRowsAreTheDownloadsRows)
{
    const SameRowsCase& c = GetParam();
    std::string page = "<html><body><h1>天下大同</h1><p>作者：王五</p><ul>\n";
    for (const std::string& link : c.links) {
        page += "<li><a href=\"" + link + "\">第" + link + "章</a></li>\n";
    }
    page += "</ul></body></html>";
    const std::string body = gbk(page);
    LoopbackServer server([&](const RecordedRequest& request) {
        if (request.requestLine.starts_with("GET /b/17_17275/ ")) {
            return Reply::text(body);
        }
        return Reply::redirect(server.url("/b/17_17275/"), 301);
    });
    RuleUnderTest rule;
    rule.patterns = {gbk("<h1>(.+?)</h1>"), gbk("作者：(.+?)</p>"), gbk("<li><a href=\"(.*?)\">(.*?)</a></li>")};
    if (c.change != nullptr) {
        c.change(rule.options);
    }
    const std::string typed = server.url(c.typedPath);
    RuleTestReport report;
    report.listPage = fetchTestedPage(typed, nullptr, rule.options);
    ASSERT_EQ(report.listPage.failure, "");
    checkListPage(report, rule);
    const Retrieval retrieved = retrieveChapterList(typed, rule.patterns, rule.options);
    ASSERT_TRUE(retrieved.found) << retrieved.failure;

    EXPECT_EQ(report.list.baseAddress, retrieved.novel.baseAddress);
    ASSERT_EQ(report.list.rowViews.size(), retrieved.rows.size());
    for (std::size_t i = 0; i < retrieved.rows.size(); ++i) {
        const ListRowView& shown = report.list.rowViews[i];
        const ChapterRow& row = retrieved.rows[i];
        EXPECT_EQ(shown.number, row.number);
        EXPECT_EQ(shown.title, row.title);
        EXPECT_EQ(shown.address, row.address);
        EXPECT_EQ(shown.fullAddress, retrieved.novel.baseAddress + row.address);
    }
    EXPECT_EQ(report.list.rows, c.rows);
    EXPECT_EQ(report.list.repeatedAddresses, c.repeated);
    EXPECT_EQ(report.list.droppedRows, c.dropped);
    EXPECT_EQ(report.list.resolved, c.resolved);
    EXPECT_NE(report.list.note.find(c.note), std::string::npos) << report.list.note;
    if (c.resolved) {
        EXPECT_EQ(report.list.rowViews[0].fullAddress, server.url("/b/17_17275/1.html"));
    }
}

INSTANTIATE_TEST_SUITE_P(Lists, RuleTestRowsTest, testing::Values(
    SameRowsCase{"LinksOfARedirectedList", "/b/17_17275", {"1.html", "2.html", "3.html"}, nullptr, 3, 0, 0, true,
                 "章节网址按目录页最终地址解析"},
    SameRowsCase{"NewestBlockAbove", "/b/17_17275/", {"3.html", "4.html", "1.html", "2.html", "3.html", "4.html"},
                 nullptr, 4, 2, 2, false, "去掉重复章节 2 个"},
    SameRowsCase{"NewestBlockAboveOfARedirectedList", "/b/17_17275",
                 {"3.html", "4.html", "1.html", "2.html", "3.html", "4.html"}, nullptr, 4, 2, 2, true,
                 "去掉重复章节 2 个；章节网址按目录页最终地址解析"},
    SameRowsCase{"NewestFirstReversed", "/b/17_17275/", {"3.html", "2.html", "1.html"},
                 [](RuleOptions& o) { o.reverseList = true; }, 3, 0, 0, false, ""},
    SameRowsCase{"RepeatsKept", "/b/17_17275/", {"3.html", "4.html", "1.html", "2.html", "3.html", "4.html"},
                 [](RuleOptions& o) { o.removeRepeatedLinks = false; }, 6, 2, 0, false, ""},
    SameRowsCase{"PagedListReadsPageOne", "/b/17_17275/", {"1.html", "2.html"},
                 [](RuleOptions& o) { o.nextListPagePattern = "<a id=\"next\" href=\"(.*?)\">"; }, 2, 0, 0, false,
                 "只检查了目录第1页"}));

// A browser-capture rule's chapter arrives as captured text; the text shown
// is the one the download saves (markup the cleanup removes is gone), and
// what the cleanup cannot remove is pointed out.
TEST(RuleTestPatternTest, CapturedChapterTextAndLeftoverMarkup)
{
    RuleTestReport report;
    RuleUnderTest rule;
    rule.pageCapture = true;
    rule.markers = {gbk("正文开始"), gbk("正文结束")};
    const ListRowView row{2, gbk("第二章"), "2.html", "http://127.0.0.1/js/1/2.html"};
    const std::string page = gbk("头正文开始山风<div class=\"ad\">吹&amp;过&zzz;</div>正文结束尾");
    checkChapterPage(report, rule, row, capturedTestedPage(row.fullAddress, page));
    EXPECT_TRUE(report.chapter.page.captured);
    EXPECT_TRUE(report.chapter.left.found);
    EXPECT_TRUE(report.chapter.right.found);
    EXPECT_EQ(report.chapter.savedText, gbk("第二章\r\n山风吹&过&zzz;"));
    EXPECT_EQ(report.chapter.savedCharacters, 3 + 2 + 3 + 1 + 1 + 5);
    const std::vector<std::pair<std::string, int>> leftovers{{"&zzz;", 1}};
    EXPECT_EQ(report.chapter.leftovers, leftovers);

    // The rule's texts to remove are gone from the shown text too.
    rule.options.removeTexts = {gbk("&zzz;")};
    checkChapterPage(report, rule, row, capturedTestedPage(row.fullAddress, page));
    EXPECT_EQ(report.chapter.savedText, gbk("第二章\r\n山风吹&过"));
    EXPECT_TRUE(report.chapter.leftovers.empty());
}

TEST(RuleTestCancelTest, CancelEndsATestWaitingForASilentServer)
{
    LoopbackServer silent([](const RecordedRequest&) {
        Reply reply;
        reply.neverAnswer = true;
        return reply;
    });
    std::atomic<bool> cancel{false};
    std::thread canceller([&] {
        std::this_thread::sleep_for(300ms);
        cancel = true;
    });
    const auto started = std::chrono::steady_clock::now();
    const RuleTestReport report = testRule(silent.url("/book/1/"), defaultRule(), 1, &cancel);
    canceller.join();
    EXPECT_TRUE(report.cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    EXPECT_FALSE(report.passed());

    // Raised before the start, nothing is fetched at all.
    const RuleTestReport early = testRule(silent.url("/book/1/"), defaultRule(), 1, &cancel);
    EXPECT_TRUE(early.cancelled);
}

} // namespace

// clang-format on