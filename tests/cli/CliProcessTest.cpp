// velmora-cli as a real process against the sample novel site on 127.0.0.1:
// exit statuses, files (the same bytes the main window's tests expect for the
// same site), output for people and for programs, and Ctrl-C.
#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "job/ChapterFiles.h"
#include "job/Epub.h"
#include "job/JobRecord.h"
#include "rules/DefaultRules.h"
#include "rules/RuleStore.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/Gbk.h"
#include "support/NovelSite.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <sstream>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string fileBytes(const fs::path& file)
{
    return readFileBytes(file).value_or("<missing>");
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        result.push_back(line);
    }
    return result;
}

// The merged novel the main window writes when these chapters are done:
// each followed by an empty line unless it is the list's last.
std::string mergedNovel(const NovelSite& site, const std::vector<int>& chapters)
{
    std::string merged;
    for (int n : chapters) {
        merged += site.expectedChapterFile(n) + (n == site.chapterCount() ? "" : "\r\n\r\n");
    }
    return merged;
}

// One run of velmora-cli in `folder`, its output going to files beside it.
class CliProcess {
public:
    CliProcess(const fs::path& folder, const fs::path& io, const std::vector<std::string>& arguments)
        : out_(io / "stdout"), err_(io / "stderr")
    {
        std::vector<std::string> words = {VELMORA_CLI_PATH};
        words.insert(words.end(), arguments.begin(), arguments.end());
        pid_ = startChild(words, folder, out_, err_);
    }

    ~CliProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    void signal(int number) const { ::kill(pid_, number); }

    // The exit status, or -1 when the process did not end within the limit
    // (it is then killed) or ended by a signal.
    int wait(std::chrono::seconds limit = 120s)
    {
        int status = 0;
        const bool ended = eventually([&] { return pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
        if (!ended || pid_ <= 0) {
            return -1;
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string out() const { return fileBytes(out_); }
    std::string err() const { return fileBytes(err_); }

private:
    pid_t pid_ = -1;
    fs::path out_;
    fs::path err_;
};

enum class Rules {
    local,    // the defaults plus a rule for 127.0.0.1 in the sample site's markup
    capture,  // the same rule, marked for page capture
    missing,  // no rules file
    garbage,  // a rules file that is not XML
};

}  // namespace

class CliTest : public testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path()
                / ("velmora-cli-" + std::to_string(::getpid()) + "-"
                   + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(work_ = root_ / "work");
        fs::create_directories(root_ / "io");
    }

    void TearDown() override { fs::remove_all(root_); }

    void writeRules(Rules kind)
    {
        const RuleStore rules(work_ / u8"下载配置.xml");
        if (kind == Rules::garbage) {
            ASSERT_TRUE(replaceFileContent(rules.file(), "<not xml"));
            return;
        }
        if (kind == Rules::missing) {
            return;
        }
        rules.ensureRulesFile();
        SiteRule local = rules.readRule(1);
        local.name = gbk("本机");
        local.siteAddress = "http://127.0.0.1/";
        local.pageCapture = kind == Rules::capture;
        ASSERT_TRUE(rules.appendRule(local));
    }

    std::unique_ptr<CliProcess> start(const std::vector<std::string>& arguments)
    {
        return std::make_unique<CliProcess>(work_, root_ / "io", arguments);
    }

    struct Finished {
        int status;
        std::string out;
        std::string err;
    };
    Finished run(const std::vector<std::string>& arguments)
    {
        auto process = start(arguments);
        const int status = process->wait();
        return {status, process->out(), process->err()};
    }

    // The chapter files present in the novel's folder, by number, each
    // checked against the bytes the window writes.
    std::vector<int> savedChapters(const NovelSite& site)
    {
        std::vector<int> saved;
        for (int n = 1; n <= site.chapterCount(); ++n) {
            const fs::path file = work_ / chapterFilePath(site.novelName(), n);
            if (fs::exists(file)) {
                EXPECT_EQ(fileBytes(file), site.expectedChapterFile(n)) << n;
                saved.push_back(n);
            }
        }
        return saved;
    }

    fs::path mergedFile(const NovelSite& site) { return work_ / mergedFilePath(site.novelName(), site.author()); }

    fs::path root_;
    fs::path work_;
};

// ---- get: one address, its exit status, files and messages ---------------

struct GetCase {
    const char* name;
    std::vector<std::string> arguments;  // "@list", "@utf8", "@missing" and "@localhost" stand for site addresses
    Rules rules = Rules::local;
    NovelSiteOptions site{};
    int status = 0;
    std::vector<int> saved{};   // chapter files expected
    std::vector<int> merged{};  // chapters of the merged file; none: no merged file
    const char* err = "";       // expected in standard error
};

void PrintTo(const GetCase& c, std::ostream* os)
{
    *os << c.name;
}

class GetTest : public CliTest, public testing::WithParamInterface<GetCase> {};

TEST_P(GetTest, StatusFilesAndMessagesFollowTheSite)
{
    const GetCase& c = GetParam();
    writeRules(c.rules);
    NovelSite site(c.site);
    std::vector<std::string> arguments;
    for (const std::string& word : c.arguments) {
        arguments.push_back(word == "@list"        ? site.listUrl()
                            : word == "@utf8"      ? site.utf8ListUrl()
                            : word == "@missing"   ? site.server().url("/missing/")
                            : word == "@localhost" ? "http://localhost:" + std::to_string(site.port()) + "/book/1/"
                                                   : word);
    }
    const Finished run = this->run(arguments);
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(savedChapters(site), c.saved);
    if (c.merged.empty()) {
        EXPECT_FALSE(fs::exists(mergedFile(site)));
    } else {
        EXPECT_EQ(fileBytes(mergedFile(site)), mergedNovel(site, c.merged));
    }
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    for (int n = 1; n <= site.chapterCount(); ++n) {
        const bool asked =
            std::find(c.saved.begin(), c.saved.end(), n) != c.saved.end() || c.site.alwaysFail.contains(n);
        EXPECT_EQ(site.requestsFor(n) > 0, asked) << n;
    }
    if (c.status == 2) {
        EXPECT_EQ(lines(run.err).size(), 1u) << run.err;  // one line saying what to do
    }
    if (c.rules == Rules::missing) {
        EXPECT_EQ(fileBytes(work_ / u8"下载配置.xml"), DefaultRulesText());
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cli, GetTest,
    testing::Values(
        GetCase{"EveryChapterSavedAndMerged", {"get", "@list"}, Rules::local, {}, 0, {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
        GetCase{"GzipUtf8PagesGiveTheSameFiles", {"get", "@utf8"}, Rules::local, {}, 0, {1, 2, 3, 4, 5},
                {1, 2, 3, 4, 5}},
        GetCase{"RowsLimitTheDownloadAndTheMerge", {"get", "--rows", "1,3-4", "@list"}, Rules::local, {}, 0,
                {1, 3, 4}, {1, 3, 4}},
        GetCase{"NoMergeKeepsOnlyChapterFiles", {"get", "--no-merge", "@list"}, Rules::local, {}, 0, {1, 2, 3, 4, 5}},
        GetCase{"ChapterThatAlwaysFailsIsListedAndBlocksTheMerge", {"get", "@list"}, Rules::local,
                {.alwaysFail = {3}}, 1, {1, 2, 4, 5}, {}, "3\t第3章 山门\t"},
        GetCase{"NoAddressIsAUsageError", {"get"}, Rules::local, {}, 2, {}, {}, "get needs at least one address"},
        GetCase{"BadRowsAreAUsageError", {"get", "--rows", "5-2", "@list"}, Rules::local, {}, 2, {}, {}, "--rows"},
        GetCase{"AddressWithoutARule", {"get", "@localhost"}, Rules::local, {}, 2, {}, {},
                "no rule for the site localhost"},
        GetCase{"FailedRetrieval", {"get", "@missing"}, Rules::local, {}, 2, {}, {}, "cannot read the chapter list"},
        GetCase{"UnreadableRulesFile", {"get", "@list"}, Rules::garbage, {}, 2, {}, {},
                "is not valid XML: repair it, or move it away"},
        GetCase{"MissingRulesFileIsWrittenWithTheDefaults", {"get", "@list"}, Rules::missing, {}, 2, {}, {},
                "no rule for the site 127.0.0.1"},
        GetCase{"RuleNamedOnTheCommandLineReadsAnySite", {"get", "--rule", "58看书", "@list"}, Rules::missing, {}, 0,
                {1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
        GetCase{"UnknownRuleName", {"get", "--rule", "无此规则", "@list"}, Rules::local, {}, 2, {}, {},
                "no rule named 无此规则"},
        GetCase{"PageCaptureRuleIsLeftToTheWindowProgram", {"get", "@list"}, Rules::capture, {}, 2, {}, {},
                "download this novel with velmora"}),
    [](const testing::TestParamInfo<GetCase>& caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

TEST_F(CliTest, SeveralAddressesFromArgumentsAndAFileEndWithASummary)
{
    writeRules(Rules::local);
    NovelSite first;
    NovelSite second({.chapters = 3, .novelName = gbk("海上"), .author = gbk("白石")});
    // The address file is named from the folder the command starts in, not from --dir.
    ASSERT_TRUE(replaceFileContent(work_ / "novels.txt",
                                   "# to read\n\n  " + second.utf8ListUrl()
                                       + "  \n# nothing here: http://localhost/\nhttp://localhost:1/book/\n"));
    fs::create_directories(work_ / "novels");
    fs::copy_file(work_ / u8"下载配置.xml", work_ / "novels" / u8"下载配置.xml");
    const Finished run = this->run({"get", first.listUrl(), "-i", "novels.txt", "--dir", "novels"});
    EXPECT_EQ(run.status, 2) << run.err;
    work_ /= "novels";
    EXPECT_EQ(fileBytes(mergedFile(first)), mergedNovel(first, {1, 2, 3, 4, 5}));
    EXPECT_EQ(fileBytes(mergedFile(second)), mergedNovel(second, {1, 2, 3}));
    // Output for people when it is not a terminal: a line per novel, then the summary.
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), 3u) << run.out;
    EXPECT_TRUE(out[0].starts_with("青云旧事 (林小舟): 5/5 chapters saved, merged into " + work_.string()
                                   + "/青云旧事(林小舟).txt"))
        << out[0];
    EXPECT_TRUE(out[1].starts_with("海上 (白石): 3/3 chapters saved, merged into ")) << out[1];
    EXPECT_TRUE(out[2].starts_with("Summary: 3 novels, 2 complete, 1 not downloaded; 8 chapters saved, 0 failed"))
        << out[2];
    EXPECT_EQ(run.out.find('\r'), std::string::npos);
    EXPECT_EQ(lines(run.err).size(), 1u) << run.err;
    EXPECT_NE(run.err.find("http://localhost:1/book/: no rule for the site localhost"), std::string::npos);
}

TEST_F(CliTest, ContinueKeepsSavedChaptersFetchesTheRestAndMerges)
{
    writeRules(Rules::local);
    NovelSite site({.failFirst = {{2, 3}}});
    EXPECT_EQ(run({"get", site.listUrl()}).status, 1);
    EXPECT_FALSE(fs::exists(mergedFile(site)));
    const Finished again = run({"get", "--continue", site.listUrl()});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(fileBytes(mergedFile(site)), mergedNovel(site, {1, 2, 3, 4, 5}));
    EXPECT_EQ(site.requestsFor(1), 1);
    EXPECT_EQ(site.requestsFor(2), 4);
    EXPECT_NE(again.out.find("5/5 chapters saved (4 kept from before)"), std::string::npos) << again.out;
}

// ---- JSON events ------------------------------------------------------------

TEST_F(CliTest, JsonLinesParseAndCarryEveryEvent)
{
    writeRules(Rules::local);
    const struct {
        NovelSiteOptions site;
        int status;
        std::vector<std::string> kinds;  // event kinds, chapter events in any order between listed and merged
    } cases[] = {
        {{}, 0, {"listed", "saved", "saved", "saved", "saved", "saved", "merged", "finished", "summary"}},
        {{.alwaysFail = {2}}, 1, {"listed", "failed", "saved", "saved", "saved", "saved", "finished", "summary"}},
    };
    for (const auto& c : cases) {
        NovelSite site(c.site);
        const Finished run = this->run({"get", "--json", site.listUrl()});
        EXPECT_EQ(run.status, c.status) << run.err;
        std::vector<std::string> kinds;
        std::vector<nlohmann::json> events;
        for (const std::string& line : lines(run.out)) {
            events.push_back(nlohmann::json::parse(line));  // throws, failing the test, on a bad line
            kinds.push_back(events.back()["event"]);
        }
        std::sort(kinds.begin() + 1, kinds.end() - 2 - (c.status == 0 ? 1 : 0));
        EXPECT_EQ(kinds, c.kinds) << run.out;
        for (const nlohmann::json& event : events) {
            if (event["event"] == "listed") {
                EXPECT_EQ(event["novel"], "青云旧事");
                EXPECT_EQ(event["author"], "林小舟");
                EXPECT_EQ(event["chapters"], 5);
            } else if (event["event"] == "saved") {
                const int row = event["row"];
                EXPECT_EQ(event["title"], "第" + std::to_string(row) + "章 山门");
                EXPECT_EQ(fileBytes(event["file"].get<std::string>()), site.expectedChapterFile(row));
            } else if (event["event"] == "failed") {
                EXPECT_EQ(event["row"], 2);
                EXPECT_EQ(event["attempts"], 3);
                EXPECT_EQ(event["status"], "失败3次");
                EXPECT_EQ(event["address"], site.server().url("/book/1/2.html"));
                EXPECT_FALSE(event["reason"].get<std::string>().empty());
            } else if (event["event"] == "merged") {
                EXPECT_EQ(fileBytes(event["file"].get<std::string>()), mergedNovel(site, {1, 2, 3, 4, 5}));
            } else if (event["event"] == "summary") {
                EXPECT_EQ(event["exit"], c.status);
                EXPECT_EQ(event["interrupted"], false);
            }
        }
    }
}

// ---- list and rules ---------------------------------------------------------

TEST_F(CliTest, ListPrintsNameAuthorAndTheChosenRows)
{
    writeRules(Rules::local);
    NovelSite site;
    const Finished run = this->run({"list", site.utf8ListUrl(), "--rows", "2-3"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "name\t青云旧事\nauthor\t林小舟\n2\t第2章 山门\t" + site.server().url("/utf8/1/2.html")
                           + "\n3\t第3章 山门\t" + site.server().url("/utf8/1/3.html") + "\n");
    EXPECT_EQ(site.requestsFor(2), 0);
}

TEST_F(CliTest, RulesAreWrittenWhenMissingAndPrintedWithTheirMode)
{
    const Finished run = this->run({"rules", "--dir", "made/here"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fileBytes(work_ / "made" / "here" / u8"下载配置.xml"), DefaultRulesText());
    const std::vector<std::string> rules = lines(run.out);
    ASSERT_EQ(rules.size(), 16u) << run.out;
    EXPECT_EQ(rules[0], "58看书\thttp://www.kanshu58.example/\thttp");
    EXPECT_EQ(std::count_if(rules.begin(), rules.end(), [](const std::string& r) { return r.ends_with("\tbrowser"); }),
              1);
    EXPECT_NE(std::find(rules.begin(), rules.end(), "2345小说（仅测试）\thttp://book.xs2345.example/\tbrowser"),
              rules.end());
}

TEST_F(CliTest, RulesSetChangesOneSettingRefusesWhatItCannotReadAndResetsToTheDefault)
{
    ASSERT_EQ(run({"rules", "--dir", "."}).status, 0);
    const std::string defaults = fileBytes(work_ / u8"下载配置.xml");
    struct Step {
        std::vector<std::string> words;
        int status;
        std::string out;
    };
    const std::vector<Step> steps = {
        {{"max-parallel", "2"}, 0, "58看书: max-parallel = 2\n"},
        {{"最大并发", "21"}, 2, ""},
        {{"encoding", "Big5"}, 0, "58看书: encoding = big5\n"},
        {{"encoding", "latin1"}, 2, ""},
        {{"dedupe", "no"}, 0, "58看书: dedupe = 假\n"},
        {{"block-text", "访问太频繁"}, 0, "58看书: block-text = 访问太频繁\n"},
        {{"no-such-setting", "1"}, 2, ""},
    };
    for (const Step& step : steps) {
        std::vector<std::string> words = {"rules", "set", "58看书"};
        words.insert(words.end(), step.words.begin(), step.words.end());
        const Finished done = run(words);
        EXPECT_EQ(done.status, step.status) << step.words[0] << ": " << done.err;
        EXPECT_EQ(done.out, step.out);
    }
    EXPECT_EQ(run({"rules", "set", "不存在", "dedupe", "no"}).status, 2);
    const RuleOptions options = RuleStore((work_ / u8"下载配置.xml").string()).readRule(1).options;
    EXPECT_EQ(options.maxConcurrency, 2);
    EXPECT_EQ(options.pageEncoding, PageEncoding::big5);
    EXPECT_FALSE(options.removeRepeatedLinks);
    EXPECT_EQ(options.blockPageTexts, std::vector<std::string>{encoding::toGbk("访问太频繁")});
    for (const char* setting : {"max-parallel", "encoding", "block-text"}) {
        EXPECT_EQ(run({"rules", "set", "58看书", setting, ""}).status, 0);
    }
    EXPECT_EQ(run({"rules", "set", "58看书", "dedupe", "yes"}).status, 0);
    EXPECT_EQ(fileBytes(work_ / u8"下载配置.xml"), defaults);
}

// ---- Ctrl-C -------------------------------------------------------------------

TEST_F(CliTest, InterruptStopsLikeTheStopButtonAndLeavesOnlyWholeFiles)
{
    writeRules(Rules::local);
    for (const int signals : {1, 2}) {
        NovelSite site({.chapters = 200, .delay = 300ms});
        auto process = start({"get", "--json", site.listUrl()});
        // Once a chapter is saved the run is well under way.
        ASSERT_TRUE(eventually([&] { return process->out().find("\"saved\"") != std::string::npos; }, 120s))
            << process->err();
        for (int i = 0; i < signals; ++i) {
            process->signal(SIGINT);
        }
        EXPECT_EQ(process->wait(), 130) << process->err();
        if (signals == 1) {
            const nlohmann::json summary = nlohmann::json::parse(lines(process->out()).back());
            EXPECT_EQ(summary["event"], "summary");
            EXPECT_EQ(summary["interrupted"], true);
            EXPECT_EQ(summary["exit"], 130);
            EXPECT_LT(summary["saved"], 200);
        }
        // Every chapter file is whole; nothing merged. After a single Ctrl-C
        // no temporary file is left either (a second one may cut a write
        // short, but only ever of the temporary file).
        const std::vector<int> saved = savedChapters(site);
        EXPECT_LT(saved.size(), 200u);
        for (const fs::directory_entry& entry : fs::directory_iterator(work_ / novelFolderPath(site.novelName()))) {
            EXPECT_TRUE(entry.path().extension() == ".txt" || signals == 2) << entry.path();
        }
        EXPECT_FALSE(fs::exists(mergedFile(site)));
        fs::remove_all(work_ / novelFolderPath(site.novelName()));
    }
}

// ---- following a novel: the job record, update, --epub -----------------------

struct FollowCase {
    const char* name;
    std::vector<std::string> options;  // of the second get
    // What happens between the two runs.
    std::function<void(NovelSite& site, const fs::path& novelFolder)> change;
    std::vector<int> fetchedRows;  // rows (from 1) the second run fetches
    const char* err = "";          // expected in standard error
};

void PrintTo(const FollowCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<int> rowsFrom(int first, int last)
{
    std::vector<int> rows;
    for (int row = first; row <= last; ++row) {
        rows.push_back(row);
    }
    return rows;
}

class FollowTest : public CliTest, public testing::WithParamInterface<FollowCase> {};

TEST_P(FollowTest, SecondGetFetchesOnlyWhatTheRecordLacks)
{
    const FollowCase& c = GetParam();
    writeRules(Rules::local);
    NovelSite site({.chapters = 10});
    ASSERT_EQ(run({"get", site.listUrl()}).status, 0);
    const fs::path novelFolder = work_ / novelFolderPath(site.novelName());
    c.change(site, novelFolder);
    site.clearRequests();

    std::vector<std::string> arguments = {"get", site.listUrl()};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Finished again = run(arguments);
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.err.find(c.err), std::string::npos) << again.err;
    const std::vector<int> listed = site.chapterNumbers();
    for (int row = 1; row <= static_cast<int>(listed.size()); ++row) {
        const bool fetched = std::find(c.fetchedRows.begin(), c.fetchedRows.end(), row) != c.fetchedRows.end();
        EXPECT_EQ(site.requestsFor(listed[row - 1]), fetched ? 1 : 0) << row;
    }
    EXPECT_EQ(fileBytes(mergedFile(site)), site.expectedMergedNovel());
    const JobRecordResult record = readJobRecord(novelFolder, site.listUrl(), site.novelName());
    ASSERT_TRUE(record.ok()) << record.message;
    EXPECT_EQ(std::count_if(record.record.rows.begin(), record.record.rows.end(),
                            [](const JobRecordRow& row) { return row.saved; }),
              static_cast<long>(listed.size()));
    EXPECT_EQ(record.record.ruleName, gbk("本机"));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Cli, FollowTest,
    testing::Values(
        FollowCase{"SiteGrownToFifteen", {}, [](NovelSite& site, const fs::path&) { site.growTo(15); },
                   rowsFrom(11, 15)},
        FollowCase{"ChapterInsertedInTheMiddle", {}, [](NovelSite& site, const fs::path&) { site.insertChapter(4); },
                   rowsFrom(4, 11)},
        FollowCase{"ChapterFileRemoved", {},
                   [](NovelSite&, const fs::path& folder) { fs::remove(chapterFileIn(folder, 7)); }, {7}},
        FollowCase{"DamagedRecordIsIgnored", {},
                   [](NovelSite&, const fs::path& folder) {
                       ASSERT_TRUE(replaceFileContent(jobRecordPath(folder), "velmora-job 1\r\n列表网址"));
                   },
                   rowsFrom(1, 10), "下载记录已损坏（第2行"},
        FollowCase{"RecordOfAnotherNovelIsIgnored", {},
                   [](NovelSite&, const fs::path& folder) {
                       JobRecord record = readJobRecord(folder).record;
                       record.novelName = gbk("别的书");
                       ASSERT_TRUE(writeJobRecord(record, folder));
                   },
                   rowsFrom(1, 10), "下载记录属于另一本小说，已忽略; every chapter is downloaded"},
        FollowCase{"FreshDownloadsEverything", {"--fresh"}, [](NovelSite& site, const fs::path&) { site.growTo(12); },
                   rowsFrom(1, 12)}),
    [](const testing::TestParamInfo<FollowCase>& caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

TEST_F(CliTest, UpdateFetchesTheNewChaptersOfEveryRecordedNovel)
{
    writeRules(Rules::local);
    NovelSite first({.chapters = 10});
    NovelSite second({.chapters = 3, .novelName = gbk("海上"), .author = gbk("白石")});
    ASSERT_EQ(run({"get", first.listUrl(), second.utf8ListUrl()}).status, 0);
    fs::create_directories(work_ / "notes");  // a folder without a record is no novel
    first.growTo(15);
    first.clearRequests();
    second.clearRequests();

    const Finished update = run({"update", "--epub"});
    EXPECT_EQ(update.status, 0) << update.err;
    const std::vector<std::string> out = lines(update.out);
    ASSERT_EQ(out.size(), 3u) << update.out;
    EXPECT_TRUE(out[0].starts_with("海上 (白石): 0 new chapters, 0 failed, merged into " + work_.string()
                                   + "/海上(白石).txt and " + work_.string() + "/海上(白石).epub"))
        << out[0];
    EXPECT_TRUE(out[1].starts_with("青云旧事 (林小舟): 5 new chapters, 0 failed, merged into ")) << out[1];
    EXPECT_TRUE(out[2].starts_with("Summary: 2 novels, 2 complete; 5 chapters saved, 0 failed")) << out[2];
    for (int n = 1; n <= 15; ++n) {
        EXPECT_EQ(first.requestsFor(n), n > 10 ? 1 : 0) << n;
    }
    EXPECT_EQ(second.requestsFor(1) + second.requestsFor(2) + second.requestsFor(3), 0);
    EXPECT_EQ(fileBytes(mergedFile(first)), first.expectedMergedNovel());
    for (const NovelSite* site : {&first, &second}) {
        const std::string book = fileBytes(work_ / epubFilePath(site->novelName(), site->author()));
        EXPECT_TRUE(book.starts_with("PK\x03\x04")) << site->chapterCount();
        EXPECT_EQ(book.substr(30, 28), "mimetypeapplication/epub+zip");
    }

    // A damaged record is named and the others still follow; nothing to do is no failure.
    ASSERT_TRUE(replaceFileContent(jobRecordPath(work_ / novelFolderPath(second.novelName())), "garbage\n"));
    const Finished damaged = run({"update"});
    EXPECT_EQ(damaged.status, 2) << damaged.err;
    EXPECT_NE(damaged.err.find("下载记录不是本程序写的，已忽略: download this novel again with velmora-cli get"),
              std::string::npos)
        << damaged.err;
    EXPECT_NE(damaged.out.find("青云旧事 (林小舟): 0 new chapters, 0 failed"), std::string::npos) << damaged.out;
}

TEST_F(CliTest, UpdateWithoutRecordsSaysSo)
{
    writeRules(Rules::local);
    const Finished update = run({"update"});
    EXPECT_EQ(update.status, 0) << update.err;
    EXPECT_NE(update.err.find("has a job record"), std::string::npos) << update.err;
    EXPECT_EQ(run({"update", "--fresh"}).status, 2);
    EXPECT_EQ(run({"get", "--fresh", "--continue", "http://127.0.0.1/"}).status, 2);
}
