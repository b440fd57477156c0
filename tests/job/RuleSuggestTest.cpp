// Suggested rules on list and chapter pages in several markup styles: each
// proposal goes through the normal retrieval and download, and the chapter
// files must come out as the site's chapters.
#include "job/RuleSuggest.h"

#include "core/AtomicCounter.h"
#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/Text.h"
#include "core/WorkerPool.h"
#include "job/ChapterFiles.h"
#include "job/ChapterText.h"
#include "support/Gbk.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;

namespace {

constexpr int kChapters = 6;
const std::string kName = "山海旧梦";
const std::string kAuthor = "林一舟";

std::string title(int n)
{
    return "第" + std::to_string(n) + "章 风起" + std::string(n % 2 ? "山门" : "夜雨");
}

// The chapter's text as the page holds it, in <p> paragraphs or in lines
// indented with &nbsp; and broken with <br />.
std::string content(int n, bool paragraphs)
{
    const std::vector<std::string> lines = {"山风吹过第" + std::to_string(n) + "座峰，少年抬头望去，云海翻涌。",
                                            "他笑了笑，说道&ldquo;到此为止&hellip;&rdquo;",
                                            "远处传来钟声&mdash;&mdash;一声，又一声。"};
    std::string text;
    for (const std::string& line : lines) {
        text += paragraphs ? "<p>" + line + "</p>" : "&nbsp;&nbsp;&nbsp;&nbsp;" + line + "<br /><br />\r\n";
    }
    return text;
}

// One markup style: how its list page and chapter pages look (UTF-8; the
// server sends GBK). `href(n)` is the link as written on the list page,
// `path(n)` where it leads.
struct Style {
    const char* name;
    std::function<std::string()> listPage;
    std::function<std::string(int)> href;
    std::function<std::string(int)> path;
    std::function<std::string(int, const std::string&)> chapterPage;  // (n, content)
    bool paragraphs = true;
};

void PrintTo(const Style& s, std::ostream* os)
{
    *os << s.name;
}

std::string items(const std::function<std::string(int)>& item, int from = 1, int to = kChapters)
{
    std::string out;
    for (int n = from; n <= to; ++n) {
        out += item(n) + "\r\n";
    }
    return out;
}

const std::string kHead =
    "<html><head><meta charset=\"gbk\" /><title>" + kName + "_" + kAuthor + "_最新章节_书友网</title>\r\n";
const std::string kOgHead = kHead + "<meta property=\"og:novel:book_name\" content=\"" + kName + "\"/>\r\n"
                            + "<meta property=\"og:novel:author\" content=\"" + kAuthor + "\"/>\r\n";
const std::string kNav = "<div class=\"nav\"><a href=\"/\">首页</a> <a href=\"/top/\">排行榜</a> "
                         "<a href=\"/full/\">全本小说</a></div>\r\n";

std::string plainChapter(int n, const std::string& text)
{
    return kHead + "</head><body>" + kNav + "<h1>" + title(n) + "</h1>\r\n<div id=\"content\">" + text
           + "</div>\r\n<div class=\"page\"><a href=\"/\">上一章</a> <a href=\"/\">下一章</a></div></body></html>";
}

const std::string kSlashBook = "/book/7/";
std::string rooted(int n)
{
    return kSlashBook + std::to_string(n) + ".html";
}
std::string relative(int n)
{
    return std::to_string(n) + ".html";
}

// clang-format off
const std::vector<Style> kStyles = {
    {"ChapterClassListWithOgMeta",
     [] {
         return kOgHead + "</head><body>" + kNav + "<ul class=\"list\">\r\n"
             + items([](int n) {
                   return "<li class=\"chapter\"><a href=\"" + rooted(n) + "\" title=\"" + title(n) + "\">" + title(n)
                       + "</a></li>";
               })
             + "</ul></body></html>";
     },
     rooted, rooted, plainChapter},
    {"PlainListNameInScript",
     [] {
         return kHead + "<script>var b_tit='" + kName + "',b_id=88;</script></head><body>" + kNav
             + "<p>作者：<span><a href=\"/search.php?q=" + kAuthor + "\">" + kAuthor + "</a></span></p>\r\n<ul>"
             + items([](int n) { return "<li><a href=\"" + rooted(n) + "\">" + title(n) + "</a></li>"; })
             + "</ul></body></html>";
     },
     rooted, rooted, plainChapter},
    {"TableCellsWithMixedQuotes",
     [] {
         return kHead + "<meta name=\"keywords\" content=\"" + kName + "\"></head><body>" + kNav
             + "<a href=\"/s.php?author=" + kAuthor + "\">"
             + kAuthor + "</a>\r\n<table><tr>"
             + items([](int n) {
                   const char* q = n % 2 ? "'" : "\"";
                   return "<td><a href=" + std::string(q) + "/r/5/" + std::to_string(n) + ".htm" + q + ">" + title(n)
                       + "</a></td>" + (n % 3 == 0 ? "</tr><tr>" : "");
               })
             + "</tr></table></body></html>";
     },
     [](int n) { return "/r/5/" + std::to_string(n) + ".htm"; },
     [](int n) { return "/r/5/" + std::to_string(n) + ".htm"; }, plainChapter, false},
    {"DlDdListWithH1AndSpacedAuthor",
     [] {
         return kHead + "</head><body>" + kNav + "<div id=\"info\">\r\n<h1>" + kName
             + "</h1>\r\n<p>作&nbsp;&nbsp;&nbsp;&nbsp;者：" + kAuthor + "</p>\r\n</div>\r\n<div id=\"list\"><dl>\r\n"
             + "<dt>正文</dt>\r\n"
             + items([](int n) { return "<dd><a href=\"" + rooted(n) + "\">" + title(n) + "</a></dd>"; })
             + "</dl></div></body></html>";
     },
     rooted, rooted, plainChapter, false},
    {"TwoChaptersPerLine",
     [] {
         return kHead + "</head><body>" + kNav + "<h1 class=\"bookname\">" + kName
             + "</h1>\r\n<meta name=\"x\" content=\"author="
             + kAuthor + "\"/>\r\n<ul>\r\n"
             + items([](int n) {
                   if (n % 2 == 0) {
                       return std::string();
                   }
                   return "<li style=\"width:50%\"><a href='" + rooted(n) + "' title='a'>" + title(n)
                       + "</a> <a class=\"r\" href=\"" + rooted(n + 1) + "\">" + title(n + 1) + "</a> </li>";
               })
             + "</ul></body></html>";
     },
     rooted, rooted, plainChapter},
    {"TableWithDivCellsRelativeLinks",
     [] {
         return kHead + "<script>var articlename='" + kName + "';var author='" + kAuthor
             + "';</script></head><body>" + kNav + "<table><tr>\r\n"
             + items([](int n) {
                   return "<td><div class=\"dccss\"><a href=\"" + relative(n) + "\" alt=\"" + title(n) + "\">"
                       + title(n) + "</a></div></td>";
               })
             + "</tr></table></body></html>";
     },
     relative, [](int n) { return kSlashBook + relative(n); }, plainChapter},
    {"ParenthesisedTitlesBrokenByBr",
     [] {
         return kHead + "</head><body><a href=\"/\">首页</a>\r\n<h1>《" + kName + "》</h1>\r\n作者：" + kAuthor
             + "<br />\r\n"
             + items([](int n) { return "<a href=\"" + rooted(n) + "\">（" + title(n) + "）</a><br />"; })
             + "</body></html>";
     },
     rooted, rooted, plainChapter},
    {"BootstrapListWithOgTitle",
     [] {
         return kHead + "<meta property=\"og:title\" content=\"" + kName + "\"/>\r\n"
             + "<meta property=\"og:novel:author\" content=\"" + kAuthor + "\"/></head><body>" + kNav
             + items([](int n) {
                   return "<li class=\"list-group-item col-sm-4\"><a href=\"" + rooted(n) + "\" title=\"" + title(n)
                       + "\">" + title(n) + "</a></li>";
               })
             + "</body></html>";
     },
     rooted, rooted, plainChapter},
    {"LatestChaptersRepeatedAtTheTop",
     [] {
         return kOgHead + "</head><body>" + kNav + "<div class=\"latest\"><dl><dt>最新章节</dt>\r\n"
             + items([](int n) { return "<dd><a href=\"" + rooted(n) + "\">" + title(n) + "</a></dd>"; },
                     kChapters - 2, kChapters)
             + "</dl></div>\r\n<div id=\"list\"><dl><dt>正文卷</dt>\r\n"
             + items([](int n) { return "<dd><a href=\"" + rooted(n) + "\">" + title(n) + "</a></dd>"; })
             + "</dl></div>\r\n<div class=\"footer\"><dl><dd><a href=\"/b/9/\">推荐：别的书第一章</a></dd>"
               "<dd><a href=\"/b/8/\">推荐：另一本书第二章</a></dd></dl></div></body></html>";
     },
     rooted, rooted, plainChapter},
    {"AbsoluteLinksElsewhereOnTheSite",
     [] {
         return kOgHead + "</head><body>" + kNav + "<ul class=\"mulu\">\r\n"
             + items([](int n) {
                   return "<li><a href=\"{site}/c/7/" + std::to_string(n) + ".html\">" + title(n) + "</a></li>";
               })
             + "</ul></body></html>";
     },
     [](int n) { return "{site}/c/7/" + std::to_string(n) + ".html"; },
     [](int n) { return "/c/7/" + std::to_string(n) + ".html"; }, plainChapter},
    {"AdvertScriptOpeningTheText",
     [] {
         return kOgHead + "</head><body>" + kNav + "<div id=\"list\"><ul>\r\n"
             + items([](int n) { return "<li><a href=\"" + rooted(n) + "\">" + title(n) + "</a></li>"; })
             + "</ul></div></body></html>";
     },
     rooted, rooted,
     [](int n, const std::string& text) {
         return kHead + "</head><body><script>ad('head');</script>\r\n<h1>" + title(n)
             + "</h1><div class=\"read\"><script>ad('text');</script>" + text
             + "<script>ad('foot');</script></div></body></html>";
     },
     false},
    {"ChapterWithAdsAndScriptsAround",
     [] {
         return kOgHead + "</head><body>" + kNav + "<div id=\"list\"><dl>\r\n"
             + items([](int n) { return "<dd><a href=\"" + rooted(n) + "\">" + title(n) + "</a></dd>"; })
             + "</dl></div></body></html>";
     },
     rooted, rooted,
     [](int n, const std::string& text) {
         return kHead + "<script>var ads = ['推荐阅读热门小说'];</script></head><body>" + kNav
             + "<div class=\"ad\">广告：本站新开了手机版，欢迎收藏</div>\r\n<div class=\"bookname\"><h1>" + title(n)
             + "</h1></div>\r\n<script>showAd('top');</script>\r\n<div id=\"chaptercontent\" class=\"txt\">" + text
             + "</div>\r\n<script>showAd('bottom');</script><div class=\"ad\">请记住本站域名，下次阅读更方便</div>"
               "</body></html>";
     },
     false},
};
// clang-format on

class RuleSuggestTest : public testing::TestWithParam<Style> {
protected:
    void SetUp() override
    {
        previous_ = fs::current_path();
        folder_ = fs::temp_directory_path()
                  / ("velmora-suggest-" + std::to_string(::getpid()) + "-"
                     + testing::UnitTest::GetInstance()->current_test_info()->name());
        folder_ = folder_.parent_path() / text::replaceAll(folder_.filename().string(), "/", "_");
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        fs::current_path(folder_);
    }
    void TearDown() override
    {
        pool_.stop();
        fs::current_path(previous_);
        fs::remove_all(folder_);
    }

    fs::path previous_;
    fs::path folder_;
    WorkerPool pool_;
    AtomicCounter failed_;
};

TEST_P(RuleSuggestTest, ProposedRuleDownloadsTheChapters)
{
    const Style& style = GetParam();
    std::string siteUrl;  // the server's own address, for absolute links
    LoopbackServer site([&](const RecordedRequest& request) {
        const std::string line = request.requestLine;
        const std::string path = line.substr(line.find(' ') + 1, line.rfind(' ') - line.find(' ') - 1);
        if (path == kSlashBook) {
            return Reply::text(gbk(text::replaceAll(style.listPage(), "{site}", siteUrl)));
        }
        for (int n = 1; n <= kChapters; ++n) {
            if (path == style.path(n)) {
                return Reply::text(gbk(style.chapterPage(n, content(n, style.paragraphs))));
            }
        }
        Reply missing = Reply::text("not here");
        missing.status = 404;
        return missing;
    });
    siteUrl = site.url("");
    const std::string listAddress = site.url(kSlashBook);
    const RuleSuggestion suggestion = suggestRule(listAddress);
    ASSERT_TRUE(suggestion.complete()) << suggestionText(suggestion);
    EXPECT_TRUE(suggestion.addressesResolve) << suggestionText(suggestion);
    EXPECT_EQ(suggestion.siteAddress, site.url("/"));

    // Through the normal retrieval and download, as a rule taken from the bench.
    const Retrieval found = retrieveChapterList(listAddress, suggestion.rule.patterns);
    ASSERT_TRUE(found.found) << found.failure << "\n" << suggestionText(suggestion);
    EXPECT_EQ(found.novel.name, gbk(kName)) << suggestionText(suggestion);
    EXPECT_EQ(found.novel.author, gbk(kAuthor)) << suggestionText(suggestion);
    ASSERT_EQ(found.rows.size(), static_cast<std::size_t>(kChapters)) << suggestionText(suggestion);
    DownloadEngine engine(pool_, failed_);
    ASSERT_EQ(engine.start({found.novel, suggestion.rule.markers, found.rows}, {}), StartResult::started);
    ASSERT_TRUE(engine.wait(60000));
    EXPECT_EQ(engine.doneCount(), kChapters);
    for (int n = 1; n <= kChapters; ++n) {
        const std::string& shownTitle = found.rows[static_cast<std::size_t>(n) - 1].title;
        EXPECT_NE(shownTitle.find(gbk(title(n))), std::string::npos);
        EXPECT_EQ(readFileBytes(chapterFilePath(found.novel.name, n)).value_or("<missing>"),
                  CleanChapterText(shownTitle + "\r\n" + gbk(content(n, style.paragraphs))))
            << "chapter " << n << "\n"
            << suggestionText(suggestion);
    }
}

INSTANTIATE_TEST_SUITE_P(Styles, RuleSuggestTest, testing::ValuesIn(kStyles),
                         [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

TEST(RuleSuggestPageTest, PageWithoutChapterLinksOrTextSaysSo)
{
    RuleSuggestion suggestion;
    suggestListPatterns("http://127.0.0.1/b/", gbk("<html><body><a href=\"/\">首页</a></body></html>"), suggestion);
    suggestMarkers("<html><body><p>hello</p></body></html>", suggestion);
    EXPECT_FALSE(suggestion.complete());
    EXPECT_TRUE(suggestion.rule.patterns.chapterList.empty());
    EXPECT_TRUE(suggestion.rule.markers.left.empty());
    EXPECT_NE(suggestionJson(suggestion).find("\"complete\":false"), std::string::npos);
}

}  // namespace
