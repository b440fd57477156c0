// Retrieval and download against pages in the shapes real novel sites serve:
// wrong or missing encoding declarations, every form of chapter link, lists
// that repeat their newest chapters, lists and chapters over several pages,
// mark-up left in the text, throttling and block pages. A loopback server
// answers from a table of pages; the files are read back as GBK.
#include "core/AtomicCounter.h"
#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/WorkerPool.h"
#include "job/ChapterFetch.h"
#include "job/ChapterFiles.h"
#include "job/ChapterLinks.h"
#include "job/ChapterStatus.h"
#include "job/NovelEngine.h"
#include "job/RequestPace.h"
#include "support/Gbk.h"
#include "support/LoopbackServer.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <map>
#include <mutex>

using namespace velmora;
using namespace velmora::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// UTF-8 text in another encoding, by iconv.
std::string encoded(std::string_view utf8, const char* to)
{
    iconv_t cd = ::iconv_open(to, "UTF-8");
    std::string in(utf8);
    std::string out(in.size() * 4 + 16, '\0');
    char* src = in.data();
    char* dst = out.data();
    std::size_t left = in.size();
    std::size_t room = out.size();
    ::iconv(cd, &src, &left, &dst, &room);
    ::iconv_close(cd);
    out.resize(out.size() - room);
    return out;
}

// A list page in the shape most sites use (UTF-8 here; encoded per case).
std::string listPage(const std::vector<std::pair<std::string, std::string>>& links, std::string_view head = "",
                     std::string_view extra = "")
{
    std::string page = "<html><head>" + std::string(head)
                       + "</head><body>\n"
                         "<h1>天下大同</h1><p>作者：王五</p>\n<ul>\n";
    for (const auto& [href, title] : links) {
        page += "<li><a href=\"" + href + "\">" + title + "</a></li>\n";
    }
    return page + "</ul>" + std::string(extra) + "</body></html>";
}

std::string chapterPage(std::string_view text, std::string_view extra = "", std::string_view head = "")
{
    return "<html><head>" + std::string(head) + "</head><body><div id=\"content\">" + std::string(text) + "</div>"
           + std::string(extra) + "</body></html>";
}

Reply status(int code, std::string header, std::string body)
{
    Reply reply = Reply::text(std::move(body));
    reply.status = code;
    reply.headers = {std::move(header)};
    return reply;
}

// A site answering from a table of paths; unknown paths get 404. Counts
// the requests per path and the most served at once.
class Site {
public:
    using Page = std::function<Reply(const RecordedRequest&)>;

    Site() : server_([this](const RecordedRequest& r) { return answer(r); }) {}

    void page(std::string path, std::string body, std::vector<std::string> headers = {})
    {
        Reply reply = Reply::text(std::move(body));
        reply.headers = std::move(headers);
        pages_[std::move(path)] = [reply](const RecordedRequest&) { return reply; };
    }
    void page(std::string path, Page handler) { pages_[std::move(path)] = std::move(handler); }

    std::string url(std::string_view path) const { return server_.url(path); }
    int requests(const std::string& path)
    {
        std::lock_guard lock(mutex_);
        return counts_[path];
    }
    int mostAtOnce()
    {
        std::lock_guard lock(mutex_);
        return most_;
    }
    std::chrono::milliseconds delay{0};

private:
    Reply answer(const RecordedRequest& request)
    {
        std::string path = request.requestLine.substr(4);
        path = path.substr(0, path.find(' '));
        {
            std::lock_guard lock(mutex_);
            ++counts_[path];
            most_ = std::max(most_, ++running_);
        }
        if (delay > 0ms) {
            std::this_thread::sleep_for(delay);
        }
        const auto it = pages_.find(path);
        Reply reply = it == pages_.end() ? status(404, "X-Missing: 1", "not found") : it->second(request);
        {
            std::lock_guard lock(mutex_);
            --running_;
        }
        return reply;
    }

    std::map<std::string, Page> pages_;
    std::mutex mutex_;
    std::map<std::string, int> counts_;
    int running_ = 0;
    int most_ = 0;
    LoopbackServer server_;  // last: stopped before the table goes
};

const std::vector<std::pair<std::string, std::string>> kTwoChapters = {{"1.html", "第一章 大雨"},
                                                                       {"2.html", "第二章 小雪"}};

}  // namespace

class RealSitesTest : public TempFolderTest {
protected:
    void SetUp() override
    {
        TempFolderTest::SetUp();
        previous_ = fs::current_path();
        fs::current_path(folder_);
        patterns_ = {gbk("<h1>(.+?)</h1>"), gbk("作者：(.+?)<"), gbk("<li><a href=\"([^\"]*)\">([^<]+)</a>")};
        markers_ = {gbk("<div id=\"content\">"), gbk("</div>")};
    }
    void TearDown() override
    {
        engine_.reset();
        pool_.stop();
        fs::current_path(previous_);
        TempFolderTest::TearDown();
    }

    Retrieval retrieve(std::string_view address)
    {
        Retrieval found = retrieveChapterList(address, patterns_, options_);
        EXPECT_TRUE(found.found) << found.failure;
        return found;
    }

    // Retrieves the list and downloads every chapter; the rows at the end.
    std::vector<ChapterRow> download(std::string_view address, Retrieval* retrieval = nullptr)
    {
        const Retrieval found = retrieve(address);
        if (retrieval != nullptr) {
            *retrieval = found;
        }
        novel_ = found.novel;
        engine_ = std::make_unique<DownloadEngine>(pool_, failed_);
        DownloadRequest request{found.novel, markers_, found.rows, options_};
        EXPECT_EQ(engine_->start(std::move(request), {}), StartResult::started);
        EXPECT_TRUE(engine_->wait(120000));
        return engine_->rows();
    }

    std::string chapterFile(int n) const
    {
        return readFileBytes(chapterFilePath(novel_.name, n)).value_or("<missing>");
    }

    fs::path previous_;
    ListPatterns patterns_;
    ContentMarkers markers_;
    RuleOptions options_;
    NovelInfo novel_;
    WorkerPool pool_;
    AtomicCounter failed_;
    std::unique_ptr<DownloadEngine> engine_;
};

// ---- 1. encoding -------------------------------------------------------------

struct EncodingCase {
    const char* name;
    std::function<std::string(std::string_view)> encode;  // UTF-8 page -> bytes served
    std::string head;                                     // in the page's <head>
    std::vector<std::string> headers;
    std::string chapterText;   // UTF-8, as written in the page
    std::string expectedText;  // UTF-8, as stored (GBK) in the chapter file
    PageEncoding setting = PageEncoding::automatic;
};

void PrintTo(const EncodingCase& c, std::ostream* os)
{
    *os << c.name;
}

class EncodingTest : public RealSitesTest, public testing::WithParamInterface<EncodingCase> {};

TEST_P(EncodingTest, NameTitlesAndChaptersAreCleanGbk)
{
    const EncodingCase& c = GetParam();
    Site site;
    site.page("/b/1/", c.encode(listPage(kTwoChapters, c.head)), c.headers);
    site.page("/b/1/1.html", c.encode(chapterPage(c.chapterText, "", c.head)), c.headers);
    site.page("/b/1/2.html", c.encode(chapterPage("第二章的正文", "", c.head)), c.headers);
    options_.pageEncoding = c.setting;
    const std::vector<ChapterRow> rows = download(site.url("/b/1/"));
    EXPECT_EQ(novel_.name, gbk("天下大同"));
    EXPECT_EQ(novel_.author, gbk("王五"));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].title, gbk("第一章 大雨"));
    EXPECT_EQ(rows[0].status, ChapterStatus::done()) << rows[0].failure;
    EXPECT_EQ(chapterFile(1), gbk("第一章 大雨\r\n" + c.expectedText));
    EXPECT_EQ(chapterFile(2), gbk("第二章 小雪\r\n第二章的正文"));
}

std::string identity(std::string_view s)
{
    return std::string(s);
}

std::string toGbkBytes(std::string_view s)
{
    return gbk(s);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Pages, EncodingTest, testing::Values(
    EncodingCase{"GbkDeclared", toGbkBytes, "<meta charset=\"gbk\">", {}, "正文甲乙", "正文甲乙"},
    EncodingCase{"Utf8DeclaringGbk", identity, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">",
                 {"Content-Type: text/html; charset=utf-8"}, "正文甲乙", "正文甲乙"},
    EncodingCase{"Utf8WithByteOrderMark", [](std::string_view s) { return "\xEF\xBB\xBF" + std::string(s); }, "",
                 {}, "正文甲乙", "正文甲乙"},
    EncodingCase{"Utf8WithoutDeclaration", identity, "", {"Content-Type: text/html"}, "正文甲乙", "正文甲乙"},
    EncodingCase{"Big5ByHeader", [](std::string_view s) { return encoded(s, "BIG5"); }, "",
                 {"Content-Type: text/html; charset=big5"}, "正文甲乙", "正文甲乙"},
    EncodingCase{"Big5ByRule", [](std::string_view s) { return encoded(s, "BIG5"); }, "", {}, "正文甲乙", "正文甲乙",
                 PageEncoding::big5},
    EncodingCase{"Gb18030OnlyCharacter", [](std::string_view s) { return encoded(s, "GB18030"); },
                 "<meta charset=\"gb18030\">", {}, "正文\xF0\xA0\xAE\xB7甲", "正文?甲"}));
// clang-format on

// ---- 2. chapter addresses ------------------------------------------------------

struct AddressCase {
    const char* name;
    std::string listPath;   // where the list is served
    std::string typedPath;  // what the user gives (a redirect leads to listPath when it differs)
    std::string link;       // the chapter link as written ("{host}" is the server's address)
    std::string chapterPath;
    bool prefixKept;  // the rows keep today's prefix-and-address form
};

void PrintTo(const AddressCase& c, std::ostream* os)
{
    *os << c.name;
}

class AddressTest : public RealSitesTest, public testing::WithParamInterface<AddressCase> {};

TEST_P(AddressTest, ChaptersAreFetchedWhereABrowserGoes)
{
    const AddressCase& c = GetParam();
    Site site;
    std::string link = c.link;
    if (const auto at = link.find("{host}"); at != std::string::npos) {
        link.replace(at, 6, site.url("").substr(0, site.url("").size()));
    }
    site.page(c.listPath, gbk(listPage({{link, "第一章 大雨"}})));
    if (c.typedPath != c.listPath) {
        const std::string target = site.url(c.listPath);
        site.page(c.typedPath, [target](const RecordedRequest&) { return Reply::redirect(target, 301); });
    }
    site.page(c.chapterPath, gbk(chapterPage("正文")));
    const std::vector<ChapterRow> rows = download(site.url(c.typedPath));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].status, ChapterStatus::done()) << rows[0].failure;
    EXPECT_EQ(site.requests(c.chapterPath), 1);
    EXPECT_EQ(chapterFile(1), gbk("第一章 大雨\r\n正文"));
    if (c.prefixKept) {
        EXPECT_EQ(rows[0].address, link);
    } else {
        EXPECT_EQ(novel_.baseAddress, "");
        EXPECT_EQ(rows[0].address, site.url(c.chapterPath));
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Links, AddressTest, testing::Values(
    AddressCase{"PathRelative", "/b/1/", "/b/1/", "7.html", "/b/1/7.html", true},
    AddressCase{"HostRelative", "/b/1/", "/b/1/", "/b/1/7.html", "/b/1/7.html", true},
    AddressCase{"Absolute", "/b/1/", "/b/1/", "{host}/b/1/7.html", "/b/1/7.html", true},
    AddressCase{"DotDot", "/b/1/", "/b/1/", "../2/7.html", "/b/2/7.html", false},
    AddressCase{"QueryOnly", "/b/list.php", "/b/list.php", "?c=7", "/b/list.php?c=7", false},
    AddressCase{"EndingInSlash", "/book/195691/", "/book/195691/", "/book/195691/3301/", "/book/195691/3301/",
                false},
    AddressCase{"ListRedirectedToSlash", "/b/17_17275/", "/b/17_17275", "7.html", "/b/17_17275/7.html", false}));
// clang-format on

TEST_F(RealSitesTest, ListAddressTypedWithoutSchemeIsFetched)
{
    Site site;
    site.page("/b/1/", gbk(listPage(kTwoChapters)));
    const std::string typed = "  " + site.url("/b/1/").substr(7);  // "127.0.0.1:port/b/1/"
    const Retrieval found = retrieve(typed);
    EXPECT_EQ(found.rows.size(), 2u);
    EXPECT_EQ(found.novel.baseAddress + found.rows[0].address, site.url("/b/1/1.html"));
}

TEST_F(RealSitesTest, ListPatternErrorNamesItsPosition)
{
    Site site;
    site.page("/b/1/", gbk(listPage(kTwoChapters)));
    patterns_.novelName = gbk("<h1>(.+?</h1>");
    const Retrieval found = retrieveChapterList(site.url("/b/1/"), patterns_, options_);
    EXPECT_FALSE(found.found);
    EXPECT_NE(found.failure.find("书名正则有误（第 14 个字符）"), std::string::npos) << found.failure;
}

// ---- 3. repeated links ---------------------------------------------------------

struct RepeatCase {
    const char* name;
    std::vector<int> served;  // chapter numbers in the order the list page shows them
    bool reverse = false;     // 目录倒序
    bool removeRepeats = true;
    std::vector<int> expected;
};

void PrintTo(const RepeatCase& c, std::ostream* os)
{
    *os << c.name;
}

class RepeatTest : public RealSitesTest, public testing::WithParamInterface<RepeatCase> {};

TEST_P(RepeatTest, ListComesOutInReadingOrder)
{
    const RepeatCase& c = GetParam();
    Site site;
    std::vector<std::pair<std::string, std::string>> links;
    for (int n : c.served) {
        links.push_back({std::to_string(n) + ".html", "第" + std::to_string(n) + "章"});
    }
    site.page("/b/1/", gbk(listPage(links)));
    options_.reverseList = c.reverse;
    options_.removeRepeatedLinks = c.removeRepeats;
    const Retrieval found = retrieve(site.url("/b/1/"));
    std::vector<int> order;
    for (const ChapterRow& row : found.rows) {
        order.push_back(std::stoi(row.address));
        EXPECT_EQ(row.number, static_cast<int>(order.size()));
    }
    EXPECT_EQ(order, c.expected);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Lists, RepeatTest, testing::Values(
    RepeatCase{"NoRepeats", {1, 2, 3, 4, 5}, false, true, {1, 2, 3, 4, 5}},
    RepeatCase{"NewestBlockAbove", {4, 5, 6, 1, 2, 3, 4, 5, 6}, false, true, {1, 2, 3, 4, 5, 6}},
    RepeatCase{"NewestBlockAboveReversed", {6, 5, 4, 1, 2, 3, 4, 5, 6}, false, true, {1, 2, 3, 4, 5, 6}},
    RepeatCase{"NewestBlockBelow", {1, 2, 3, 4, 5, 6, 4, 5, 6}, false, true, {1, 2, 3, 4, 5, 6}},
    RepeatCase{"NewestBlockBelowReversed", {1, 2, 3, 4, 5, 6, 6, 5, 4}, false, true, {1, 2, 3, 4, 5, 6}},
    RepeatCase{"SiteListsNewestFirst", {6, 5, 4, 3, 2, 1}, true, true, {1, 2, 3, 4, 5, 6}},
    RepeatCase{"NewestFirstWithBlockAbove", {6, 5, 6, 5, 4, 3, 2, 1}, true, true, {1, 2, 3, 4, 5, 6}},
    RepeatCase{"StrayRepeatKeepsFirst", {1, 2, 3, 2, 4, 5}, false, true, {1, 2, 3, 4, 5}},
    RepeatCase{"RepeatsKeptWhenTurnedOff", {5, 6, 1, 2, 3, 4, 5, 6}, false, false, {5, 6, 1, 2, 3, 4, 5, 6}}));
// clang-format on

TEST(ChapterLinksTest, EmptyAndSingleLists)
{
    EXPECT_TRUE(positionsWithoutRepeats({}).empty());
    EXPECT_EQ(positionsWithoutRepeats({"a", "a"}), std::vector<std::size_t>{0});
}

// ---- 4. paged lists and chapters --------------------------------------------------

TEST_F(RealSitesTest, ListOverThreePagesAndChapterOverThreePagesComeWholeInOrder)
{
    Site site;
    auto nextLink = [](std::string href) { return "<a class=\"next\" href=\"" + href + "\">下一页</a>"; };
    site.page("/b/1/", gbk(listPage({{"1.html", "第一章"}}, "", nextLink("index_2.html"))));
    site.page("/b/1/index_2.html", gbk(listPage({{"2.html", "第二章"}}, "", nextLink("/b/1/index_3.html"))));
    // The last list page links back to the first: a loop ends the list.
    site.page("/b/1/index_3.html", gbk(listPage({{"3.html", "第三章"}}, "", nextLink("/b/1/"))));
    site.page("/b/1/1.html", gbk(chapterPage("一之一", nextLink("1_2.html"))));
    site.page("/b/1/1_2.html", gbk(chapterPage("一之二", nextLink("1_3.html"))));
    site.page("/b/1/1_3.html", gbk(chapterPage("一之三", nextLink("1.html"))));  // a loop
    site.page("/b/1/2.html", gbk(chapterPage("二", nextLink("3.html"))));        // the next chapter
    site.page("/b/1/3.html", gbk(chapterPage("三")));
    options_.nextListPagePattern = gbk("<a class=\"next\" href=\"([^\"]+)\">下一页");
    options_.nextChapterPagePattern = options_.nextListPagePattern;
    Retrieval found;
    const std::vector<ChapterRow> rows = download(site.url("/b/1/"), &found);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(site.requests("/b/1/"), 1);
    EXPECT_EQ(chapterFile(1), gbk("第一章\r\n一之一\r\n一之二\r\n一之三"));
    EXPECT_EQ(chapterFile(2), gbk("第二章\r\n二"));
    EXPECT_EQ(chapterFile(3), gbk("第三章\r\n三"));
    EXPECT_EQ(site.requests("/b/1/1.html"), 1);
    EXPECT_EQ(site.requests("/b/1/3.html"), 1);
    EXPECT_NE(found.note.find("目录共 3 页"), std::string::npos) << found.note;
}

TEST_F(RealSitesTest, ChapterWhosePageFailsIsNotSavedHalf)
{
    Site site;
    site.page("/b/1/", gbk(listPage({{"1.html", "第一章"}})));
    site.page("/b/1/1.html", gbk(chapterPage("前半", "<a class=\"next\" href=\"1_2.html\">下一页</a>")));
    options_.nextChapterPagePattern = gbk("<a class=\"next\" href=\"([^\"]+)\">");
    const std::vector<ChapterRow> rows = download(site.url("/b/1/"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].status, ChapterStatus::failed());
    EXPECT_EQ(rows[0].failure, "第 2 页：HTTP 404");
    EXPECT_EQ(site.requests("/b/1/1_2.html"), kHttpAttempts);
    EXPECT_FALSE(fs::exists(chapterFilePath(novel_.name, 1)));
}

// ---- 5. clean text ----------------------------------------------------------------

TEST_F(RealSitesTest, MarkupEntitiesScriptsAndWatermarksLeaveTheText)
{
    Site site;
    site.page("/b/1/", gbk(listPage({{"1.html", "第一章"}})));
    site.page("/b/1/1.html",
              gbk(chapterPage("<p>第一段<p>第二段<br>第三段<BR>第四段<script>document.write('广告');</script>"
                              "<span class=\"x\">&amp;&#x4E00;&#20108;&copy;&nbsp;</span>&#8203;"
                              "本站最新域名www.example.com<style>p{}</style>结尾")));
    options_.removeTexts = {gbk("本站最新域名www.example.com")};
    download(site.url("/b/1/"));
    EXPECT_EQ(chapterFile(1), gbk("第一章\r\n  第一段\r\n  第二段\r\n第三段\r\n第四段&一二? 结尾"));
}

// ---- 6. pace ------------------------------------------------------------------------

TEST_F(RealSitesTest, TooManyRequestsWaitsForRetryAfterThenSucceeds)
{
    Site site;
    site.page("/b/1/", gbk(listPage({{"1.html", "第一章"}})));
    std::atomic<int> answered{0};
    site.page("/b/1/1.html", [&](const RecordedRequest&) {
        if (answered.fetch_add(1) < 2) {
            return status(429, "Retry-After: 1", "slow down");
        }
        return Reply::text(gbk(chapterPage("正文")));
    });
    const auto started = std::chrono::steady_clock::now();
    const std::vector<ChapterRow> rows = download(site.url("/b/1/"));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 1900ms);
    EXPECT_EQ(rows[0].status, ChapterStatus::done()) << rows[0].failure;
    EXPECT_EQ(site.requests("/b/1/1.html"), 3);
    EXPECT_EQ(chapterFile(1), gbk("第一章\r\n正文"));
}

TEST_F(RealSitesTest, BlockPageIsAFailedAttemptThatSaysWhy)
{
    Site site;
    site.page("/b/1/", gbk(listPage({{"1.html", "第一章"}})));
    site.page("/b/1/1.html", gbk(chapterPage("访问太频繁，请稍后再试")));
    options_.blockPageTexts = {gbk("访问太频繁")};
    const std::vector<ChapterRow> rows = download(site.url("/b/1/"));
    EXPECT_EQ(rows[0].status, ChapterStatus::failed());
    EXPECT_EQ(rows[0].failure, "拦截页（含“访问太频繁”）");
    EXPECT_EQ(site.requests("/b/1/1.html"), kHttpAttempts);
}

TEST_F(RealSitesTest, StopCutsARetryWaitShort)
{
    Site site;
    site.page("/b/1/", gbk(listPage({{"1.html", "第一章"}})));
    site.page("/b/1/1.html", [](const RecordedRequest&) { return status(503, "Retry-After: 600", "busy"); });
    const Retrieval found = retrieve(site.url("/b/1/"));
    engine_ = std::make_unique<DownloadEngine>(pool_, failed_);
    ASSERT_EQ(engine_->start({found.novel, markers_, found.rows, options_}, {}), StartResult::started);
    for (int i = 0; i < 400 && site.requests("/b/1/1.html") == 0; ++i) {
        std::this_thread::sleep_for(25ms);
    }
    const auto stopped = std::chrono::steady_clock::now();
    engine_->stop();
    EXPECT_TRUE(engine_->wait(30000));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 10s);
    EXPECT_EQ(engine_->rows()[0].status, ChapterStatus::waiting());
}

TEST_F(RealSitesTest, RuleLimitedToTwoParallelRequestsNeverHasMoreOpen)
{
    Site site;
    site.delay = 60ms;
    std::vector<std::pair<std::string, std::string>> links;
    for (int n = 1; n <= 12; ++n) {
        links.push_back({std::to_string(n) + ".html", "第" + std::to_string(n) + "章"});
        site.page("/b/1/" + std::to_string(n) + ".html", gbk(chapterPage("正文" + std::to_string(n))));
    }
    site.page("/b/1/", gbk(listPage(links)));
    options_.maxConcurrency = 2;
    options_.minIntervalMs = 5;
    const std::vector<ChapterRow> rows = download(site.url("/b/1/"));
    for (int n = 1; n <= 12; ++n) {
        EXPECT_EQ(chapterFile(n), gbk("第" + std::to_string(n) + "章\r\n正文" + std::to_string(n)));
    }
    EXPECT_LE(site.mostAtOnce(), 2);
}

TEST(RetryWaitTest, RetryAfterSecondsDatesAndBackOff)
{
    EXPECT_EQ(retryWait("1", 1), 1s);
    EXPECT_EQ(retryWait("3600", 1), kLongestRetryWait);
    EXPECT_EQ(retryWait("", 1), 1s);
    EXPECT_EQ(retryWait("", 2), 2s);
    EXPECT_EQ(retryWait("", 3), 4s);
    EXPECT_EQ(retryWait("soon", 1), 1s);
    EXPECT_EQ(retryWait("Wed, 21 Oct 2015 07:28:00 GMT", 1), 0s);  // in the past: at once
}
