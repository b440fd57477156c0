#include "rules/RuleStore.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "rules/DefaultRules.h"
#include "support/FileSizeLimit.h"
#include "support/Gbk.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace velmora;
namespace fs = std::filesystem;

namespace {

using velmora::test::gbk;

std::string utf8(std::string_view gbkText)
{
    return encoding::gbkToUtf8(gbkText);
}

const std::string kHead = "<?xml version=\"1.0\" encoding=\"gb18030\"?>\r\n";

// One rule element line (without the leading CR LF TAB), UTF-8.
std::string ruleLine(std::string_view name, std::string_view address, std::string_view capture = "假")
{
    return std::string("<") + std::string(name) + " 网址=\"" + std::string(address)
           + "\" 章节列表正则表达式=\"l\" 小说名正则表达式=\"n\" 作者正则表达式=\"a\" 章节内容左侧=\"&lt;p&gt;\""
             " 章节内容右侧=\"&lt;/p&gt;\" 页面抓取=\""
           + std::string(capture) + "\"/>";
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

SiteRule sampleRule(std::string name)
{
    return SiteRule{gbk(name), "http://new.example/", "list", "novel", "author", "left", "right", true, {}};
}

}  // namespace

class RuleStoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "velmora-rules-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        file_ = folder_ / u8"下载配置.xml";
    }
    void TearDown() override { fs::remove_all(folder_); }

    void put(std::string_view bytes) const
    {
        std::ofstream(file_, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string bytes() const { return readFileBytes(file_).value_or("<missing>"); }
    RuleStore store() const { return RuleStore(file_); }

    fs::path folder_;
    fs::path file_;
};

TEST_F(RuleStoreTest, DefaultNameIsRelativeToWorkingFolder)
{
    EXPECT_EQ(RuleStore().file(), fs::path(u8"下载配置.xml"));
}

TEST_F(RuleStoreTest, MissingFileGetsDefaultRulesByteForByte)
{
    store().ensureRulesFile();
    EXPECT_EQ(bytes(), DefaultRulesText());
    EXPECT_TRUE(DefaultRulesText().ends_with(gbk("\r\n</小说站点>")));

    std::vector<std::string> names;
    for (const std::string& name : store().ruleNames()) {
        names.push_back(utf8(name));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"58看书", "青豆小说", "Freexs免费小说网", "悠读文学", "零点看书", "蕃茄小说",
                                        "吾读小说网", "2345小说（仅测试）", "紫幽阁", "摘阅网", "52中文网", "燃文小说",
                                        "一本读全本小说网", "爪机书屋", "顶点小说", "梅语小说网"}));
    std::vector<std::string> hosts = store().siteHosts();
    std::sort(hosts.begin(), hosts.end());
    EXPECT_EQ(std::unique(hosts.begin(), hosts.end()), hosts.end()) << "every default rule has a host of its own";
}

TEST_F(RuleStoreTest, ExistingFileIsNeverReplaced)
{
    for (const std::string& content : {std::string(), std::string("not xml"), rulesFile({})}) {
        put(content);
        store().ensureRulesFile();
        EXPECT_EQ(bytes(), content);
    }
}

TEST_F(RuleStoreTest, DefaultValuesReadBackExactly)
{
    store().ensureRulesFile();
    struct Expected {
        int position;
        RuleField field;
        std::string value;  // UTF-8
    };
    // clang-format off
    const Expected table[] = {
        {1, RuleField::chapterListPattern,
         R"x(<li class="chapter"><a href="(.*?)" title=".*?">(.*?)</a></li>)x"},
        {2, RuleField::novelNamePattern, "var b_tit='(.*?)',b_id"},
        {2, RuleField::authorPattern, R"x(作者：<span><a href="/search.php\?q=(.*?)( |"))x"},
        {4, RuleField::authorPattern, R"x(<meta property="og:novel:author" content="(.*?)"/>)x"},
        {7, RuleField::novelNamePattern, "<h1>(.*?)</h1>\r\n"},
        {8, RuleField::contentLeftMarker, "正在玩命为您加载中，请稍后！"},
        {11, RuleField::novelNamePattern, "<h1.*?>(.*?)</h1>\r"},
        {14, RuleField::chapterListPattern, R"x(<a href="(.*?)".*?>（(.*?)）</a>)x"},
        {14, RuleField::novelNamePattern, "<h1>《(.*?)》</h1>\r"},
        {16, RuleField::contentRightMarker, "</div>"},
    };
    // clang-format on
    for (const Expected& e : table) {
        const SiteRule rule = store().readRule(e.position, {e.field});
        const std::string got = e.field == RuleField::chapterListPattern  ? rule.chapterListPattern
                                : e.field == RuleField::novelNamePattern  ? rule.novelNamePattern
                                : e.field == RuleField::authorPattern     ? rule.authorPattern
                                : e.field == RuleField::contentLeftMarker ? rule.contentLeftMarker
                                                                          : rule.contentRightMarker;
        EXPECT_EQ(utf8(got), e.value) << "rule " << e.position;
    }
    for (int position = 1; position <= 16; ++position) {
        EXPECT_EQ(store().readRule(position).pageCapture, position == 8) << "rule " << position;
    }
}

TEST_F(RuleStoreTest, UnchangedRewriteReproducesDefaultFile)
{
    store().ensureRulesFile();
    ASSERT_TRUE(store().updateRule(1, {}, SiteRule{}));
    EXPECT_EQ(bytes(), DefaultRulesText());
}

TEST_F(RuleStoreTest, RewriteKeepsHandWrittenAttributeOrderAndDropsComments)
{
    put(gbk("<?xml version=\"1.0\"?>\n<小说站点>\n  <!-- mine -->\n  <甲 页面抓取=\"真\" "
            "网址=\"http://a.example/\"></甲>\n</小说站点>\n"));
    ASSERT_TRUE(store().updateRule(1, {RuleField::siteAddress}, SiteRule{.siteAddress = "http://b.example/"}));
    EXPECT_EQ(bytes(), gbk(kHead + "<小说站点>\r\n\t<甲 页面抓取=\"真\" 网址=\"http://b.example/\"/>\r\n</小说站点>"));
}

TEST_F(RuleStoreTest, AwkwardValuesRoundTrip)
{
    put(rulesFile({}));
    SiteRule rule = sampleRule("规则");
    rule.chapterListPattern = "<a href=\"(.*?)\">&amp;'x'</a>";
    rule.novelNamePattern = gbk("<h1>《(.*?)》</h1>\r\n");
    rule.authorPattern = "author=(.*?)\r";
    rule.contentLeftMarker = "\r\n\tmid\rdle\n";
    ASSERT_TRUE(store().appendRule(rule));
    EXPECT_EQ(store().readRule(1), rule);
    EXPECT_NE(bytes().find("&lt;a href=&quot;(.*?)&quot;&gt;&amp;amp;&apos;x&apos;&lt;/a&gt;"), std::string::npos);
}

TEST_F(RuleStoreTest, DoubleByteAndDigitNamesSurviveRewrite)
{
    store().ensureRulesFile();
    ASSERT_TRUE(store().deleteRule(1));
    const std::vector<std::string> names = store().ruleNames();
    ASSERT_EQ(names.size(), 15u);
    EXPECT_EQ(utf8(names[6]), "2345小说（仅测试）");
    EXPECT_EQ(utf8(names[9]), "52中文网");
    EXPECT_TRUE(store().readRule(7).pageCapture);
}

struct BrokenFile {
    std::string label;
    std::string bytes;
};

void PrintTo(const BrokenFile& c, std::ostream* os)
{
    *os << c.label;
}

class BrokenRulesFileTest : public RuleStoreTest, public testing::WithParamInterface<BrokenFile> {};

TEST_P(BrokenRulesFileTest, GivesNoRulesAndIsNeverWritten)
{
    const std::string original = GetParam().bytes;
    put(original);
    EXPECT_TRUE(store().ruleNames().empty());
    EXPECT_TRUE(store().siteHosts().empty());
    EXPECT_EQ(store().readRule(1), SiteRule{});
    EXPECT_EQ(store().findRuleByHost("a.example"), -1);
    EXPECT_EQ(store().appendRule(sampleRule("新规则")), RuleChange::unreadable);
    EXPECT_EQ(store().updateRule(1, RuleFields::all(), sampleRule("新规则")), RuleChange::unreadable);
    EXPECT_EQ(store().deleteRule(1), RuleChange::unreadable);
    store().ensureRulesFile();
    EXPECT_EQ(bytes(), original);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, BrokenRulesFileTest, testing::Values(
    BrokenFile{"empty", ""},
    BrokenFile{"random bytes", std::string("\x93\x00\xff<\x12\xD5\xE6>\"&\r\n\x7f", 14)},
    BrokenFile{"missing root end tag", rulesFile({ruleLine("甲", "http://a.example/")}).substr(0, 200)},
    BrokenFile{"unterminated tag", gbk(kHead + "<小说站点>\r\n\t<甲 网址=\"http://a.example/\"\r\n</小说站点>")},
    BrokenFile{"unquoted attribute", gbk(kHead + "<小说站点>\r\n\t<甲 网址=http://a.example//>\r\n</小说站点>")},
    BrokenFile{"unknown entity", gbk(kHead + "<小说站点>\r\n\t<甲 网址=\"&nbsp;\"/>\r\n</小说站点>")},
    BrokenFile{"other root", gbk(kHead + "<站点>\r\n\t<甲 网址=\"http://a.example/\"/>\r\n</站点>")},
    BrokenFile{"name with an unknown entity", rulesFile({ruleLine("甲&nbsp;乙", "http://a.example/")})}
));
// clang-format on

TEST_F(RuleStoreTest, UnreadableFileGivesNoRules)
{
    fs::create_directory(file_);
    EXPECT_TRUE(store().ruleNames().empty());
    EXPECT_FALSE(store().appendRule(sampleRule("新规则")));
    store().ensureRulesFile();
    EXPECT_TRUE(fs::is_directory(file_));
}

TEST_F(RuleStoreTest, PageCaptureIsTrueOnlyForExactlyTrue)
{
    // clang-format off
    const std::pair<std::string, bool> table[] = {
        {"页面抓取=\"真\"", true},  {"页面抓取=\"假\"", false},   {"页面抓取=\"\"", false},
        {"页面抓取=\"真 \"", false}, {"页面抓取=\"true\"", false}, {"", false},
    };
    // clang-format on
    for (const auto& [attribute, expected] : table) {
        put(rulesFile({"<甲 网址=\"http://a.example/\" " + attribute + "/>"}));
        EXPECT_EQ(store().readRule(1).pageCapture, expected) << attribute;
    }
}

TEST_F(RuleStoreTest, ReadsOnlyRequestedFieldsAndEmptyForMissingOnes)
{
    put(rulesFile({"<甲 网址=\"http://a.example/\" 页面抓取=\"真\"/>", ruleLine("乙", "http://b.example/")}));
    EXPECT_EQ(store().readRule(1, {RuleField::name, RuleField::pageCapture}),
              (SiteRule{.name = gbk("甲"), .pageCapture = true}));
    EXPECT_EQ(store().readRule(1),
              (SiteRule{.name = gbk("甲"), .siteAddress = "http://a.example/", .pageCapture = true}));
    for (const int position : {0, -1, 3}) {
        EXPECT_EQ(store().readRule(position), SiteRule{}) << position;
    }
}

TEST_F(RuleStoreTest, UpdateRenamesAndSetsOnlyExistingAttributes)
{
    put(rulesFile({"<甲 网址=\"http://a.example/\" 作者正则表达式=\"old\"/>", ruleLine("乙", "http://b.example/")}));
    SiteRule values = sampleRule("丙");
    ASSERT_TRUE(store().updateRule(1, {RuleField::name, RuleField::authorPattern, RuleField::pageCapture}, values));
    EXPECT_EQ(bytes(), rulesFile({"<丙 网址=\"http://a.example/\" 作者正则表达式=\"author\"/>",
                                  ruleLine("乙", "http://b.example/")}));

    ASSERT_TRUE(store().updateRule(2, {RuleField::pageCapture, RuleField::contentLeftMarker}, values));
    EXPECT_EQ(store().readRule(2, {RuleField::pageCapture, RuleField::contentLeftMarker}),
              (SiteRule{.contentLeftMarker = "left", .pageCapture = true}));
    EXPECT_EQ(utf8(store().readRule(2).name), "乙");

    const std::string before = bytes();
    EXPECT_FALSE(store().updateRule(3, RuleFields::all(), values));
    EXPECT_FALSE(store().updateRule(0, RuleFields::all(), values));
    EXPECT_EQ(bytes(), before);
}

TEST_F(RuleStoreTest, AppendWithDuplicateNameCompletesTheNewRule)
{
    store().ensureRulesFile();
    const SiteRule first = store().readRule(1);
    const SiteRule rule = sampleRule("58看书");
    ASSERT_TRUE(store().appendRule(rule));
    ASSERT_EQ(store().ruleNames().size(), 17u);
    EXPECT_EQ(store().readRule(17), rule);
    EXPECT_EQ(store().readRule(1), first);
    EXPECT_TRUE(bytes().ends_with(gbk(
        "\r\n\t<58看书 网址=\"http://new.example/\" 章节列表正则表达式=\"list\" 小说名正则表达式=\"novel\" "
        "作者正则表达式=\"author\" 章节内容左侧=\"left\" 章节内容右侧=\"right\" 页面抓取=\"真\"/>\r\n</小说站点>")));
}

class RefusedNameTest : public RuleStoreTest, public testing::WithParamInterface<std::string> {};

TEST_P(RefusedNameTest, IsNeverWritten)
{
    put(rulesFile({ruleLine("甲", "http://a.example/")}));
    const std::string before = bytes();
    const SiteRule rule = sampleRule(GetParam());
    EXPECT_FALSE(store().appendRule(rule));
    EXPECT_FALSE(store().updateRule(1, {RuleField::name, RuleField::siteAddress}, rule));
    EXPECT_EQ(bytes(), before);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RefusedNameTest, testing::Values(
    "", "a b", "a/b", "a>", "<a", "a&b", "a=b", "a\"b", "a'b", "a\tb", "a\nb", "a\x7f", "新　规则", "!a"));
// clang-format on

TEST_F(RuleStoreTest, DeleteReportsWhetherARuleWentAway)
{
    put(rulesFile({ruleLine("甲", "http://a.example/"), ruleLine("乙", "http://b.example/")}));
    EXPECT_FALSE(store().deleteRule(0));
    EXPECT_FALSE(store().deleteRule(3));
    ASSERT_TRUE(store().deleteRule(1));
    EXPECT_EQ(bytes(), rulesFile({ruleLine("乙", "http://b.example/")}));
    ASSERT_TRUE(store().deleteRule(1));
    EXPECT_EQ(bytes(), rulesFile({}));
    EXPECT_FALSE(store().deleteRule(1));
}

TEST_F(RuleStoreTest, FailedSaveIsReportedAndLeavesTheRulesFileIntact)
{
    put(rulesFile({ruleLine("甲", "http://a.example/")}));
    const std::string before = bytes();
    {
        const test::FileSizeLimit full(16);
        EXPECT_EQ(store().appendRule(sampleRule("乙")), RuleChange::notSaved);
        EXPECT_EQ(store().updateRule(1, RuleFields::all(), sampleRule("乙")), RuleChange::notSaved);
        EXPECT_EQ(store().deleteRule(1), RuleChange::notSaved);
    }
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
    EXPECT_EQ(store().appendRule(sampleRule("乙")), RuleChange::saved);
    EXPECT_EQ(store().updateRule(3, {RuleField::siteAddress}, sampleRule("乙")), RuleChange::refused);
    EXPECT_EQ(store().appendRule(sampleRule("a b")), RuleChange::refused);
}

// A novel named like the rules file's old temporary name got a folder of
// that name beside the rules file, and every later edit was lost.
TEST_F(RuleStoreTest, NovelFolderNamedLikeATemporaryFileDoesNotBlockEdits)
{
    put(rulesFile({ruleLine("甲", "http://a.example/")}));
    fs::path novelFolder = file_;
    novelFolder += ".tmp";
    fs::create_directory(novelFolder);
    EXPECT_TRUE(store().appendRule(sampleRule("乙")));
    EXPECT_TRUE(store().updateRule(1, {RuleField::siteAddress}, SiteRule{.siteAddress = "http://c.example/"}));
    EXPECT_EQ(store().siteHosts(), (std::vector<std::string>{"c.example", "new.example"}));
    EXPECT_TRUE(fs::is_directory(novelFolder));
}

// Two copies of the program editing rules at once: each change loads, edits
// and saves under the lock, so none is lost.
TEST_F(RuleStoreTest, TwoWritersNeverLoseAnEdit)
{
    put(rulesFile({}));
    constexpr int kEach = 25;
    std::thread writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = std::thread([this, w] {
            const RuleStore own(file_);
            for (int i = 0; i < kEach; ++i) {
                EXPECT_TRUE(own.appendRule(SiteRule{.name = "w" + std::to_string(w) + "r" + std::to_string(i)}));
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    std::vector<std::string> names = store().ruleNames();
    EXPECT_EQ(names.size(), 2u * kEach);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
}

// Names a hand-written file may hold: the element's name, entities resolved.
TEST_F(RuleStoreTest, RuleNamesWrittenWithEntitiesLoadAndSurviveEdits)
{
    put(rulesFile({ruleLine("Tom&amp;Jerry", "http://a.example/"), ruleLine("a=b", "http://b.example/"),
                   ruleLine("&lt;书&gt;&quot;", "http://c.example/"), ruleLine("甲　乙", "http://d.example/")}));
    const std::vector<std::string> expected = {"Tom&Jerry", "a=b", gbk("<书>\""), gbk("甲　乙")};
    EXPECT_EQ(store().ruleNames(), expected);
    EXPECT_EQ(store().findRuleByHost("c.example"), 2);
    EXPECT_EQ(store().readRule(1).name, "Tom&Jerry");

    const std::string before = bytes();
    ASSERT_TRUE(store().updateRule(2, {RuleField::siteAddress}, SiteRule{.siteAddress = "http://e.example/"}));
    EXPECT_EQ(store().ruleNames(), expected);
    EXPECT_EQ(bytes(), before.substr(0, before.find("http://b.example/")) + "http://e.example/"
                           + before.substr(before.find("http://b.example/") + 17));

    // Such names are still never given by the program.
    EXPECT_EQ(store().updateRule(3, {RuleField::name}, SiteRule{.name = "x&y"}), RuleChange::refused);
    EXPECT_EQ(store().appendRule(SiteRule{.name = "x=y"}), RuleChange::refused);
}

struct LookupCase {
    std::string address;
    int index;
};

void PrintTo(const LookupCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.address);
}

class LookupTest : public RuleStoreTest, public testing::WithParamInterface<LookupCase> {};

TEST_P(LookupTest, FindsFirstRuleOfTheSameHost)
{
    put(rulesFile({ruleLine("甲", "http://other.example/"), ruleLine("乙", "http://book.site.example/"),
                   ruleLine("丙", "https://Book.Site.Example:8443/x/"), ruleLine("丁", "http://m2.site.example/")}));
    EXPECT_EQ(lookupRuleIndex(store(), GetParam().address), GetParam().index);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, LookupTest, testing::Values(
    LookupCase{"HTTPS://BOOK.Site.Example/a/b.html", 1},
    LookupCase{"book.site.example", 1},
    LookupCase{"http://book.site.example:8080/list/", 1},
    LookupCase{"m.site.example", -1},
    LookupCase{"site.example", -1},
    LookupCase{"http://M2.site.example/1.html", 3},
    LookupCase{"", -1}
));
// clang-format on

TEST_F(RuleStoreTest, EmptyAddressMatchesRuleWithoutAddress)
{
    put(rulesFile({ruleLine("甲", "http://a.example/"), "<乙 章节列表正则表达式=\"l\"/>"}));
    EXPECT_EQ(store().siteHosts(), (std::vector<std::string>{"a.example", ""}));
    EXPECT_EQ(lookupRuleIndex(store(), ""), 1);
    EXPECT_EQ(store().findRuleByHost("A.example"), -1);
}
