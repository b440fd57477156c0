// velmora-cli's rule commands as real processes against sites on 127.0.0.1:
// the bench's report and its exit status, a suggested rule added to the
// rules file, and rules passed on as files.
#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "job/ChapterFiles.h"
#include "rules/RuleStore.h"
#include "support/ChildProcess.h"
#include "support/Eventually.h"
#include "support/Gbk.h"
#include "support/NovelSite.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>
#include <unistd.h>

using namespace velmora;
using namespace velmora::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

class RuleCommandsTest : public testing::Test {
protected:
    void SetUp() override
    {
        work_ = fs::temp_directory_path()
                / ("velmora-cli-rules-" + std::to_string(::getpid()) + "-"
                   + testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work_);
        fs::create_directories(work_);
        rules().ensureRulesFile();
    }
    void TearDown() override { fs::remove_all(work_); }

    RuleStore rules() const { return RuleStore(work_ / u8"下载配置.xml"); }

    // A rule for 127.0.0.1 in the sample site's markup, under `name`.
    void addLocalRule(std::string_view name, bool brokenList = false)
    {
        SiteRule local = rules().readRule(1);
        local.name = gbk(name);
        local.siteAddress = "http://127.0.0.1/";
        if (brokenList) {
            local.chapterListPattern = "<dd><a href=\"(.*?)\">(.*?)</a></dd>";
        }
        ASSERT_TRUE(rules().appendRule(local));
    }

    Finished run(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), VELMORA_CLI_PATH);
        const fs::path out = work_ / "stdout";
        const fs::path err = work_ / "stderr";
        const pid_t pid = startChild(arguments, work_, out, err);
        int status = 0;
        Finished finished;
        if (pid > 0 && eventually([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 120s)) {
            finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        } else if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        finished.out = readFileBytes(out).value_or("");
        finished.err = readFileBytes(err).value_or("");
        return finished;
    }

    std::string bytes(const fs::path& file) { return readFileBytes(work_ / file).value_or("<missing>"); }

    fs::path work_;
};

}  // namespace

TEST_F(RuleCommandsTest, TestReportsEachPartAndFailsWhenTheRuleYieldsNothing)
{
    NovelSite site;
    addLocalRule("本机");
    addLocalRule("坏规则", true);
    const std::string before = bytes(u8"下载配置.xml");

    const Finished good = run({"test", site.listUrl()});
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_NE(good.out.find("结果: 通过"), std::string::npos) << good.out;
    EXPECT_NE(good.out.find(encoding::gbkToUtf8(site.novelName())), std::string::npos);

    const Finished json = run({"test", site.utf8ListUrl(), "--json", "--row", "2"});
    ASSERT_EQ(json.status, 0) << json.err;
    const nlohmann::json report = nlohmann::json::parse(json.out);
    EXPECT_TRUE(report["listPage"]["gzip"].get<bool>());
    EXPECT_EQ(report["listPage"]["encoding"], "UTF-8");
    EXPECT_EQ(report["list"]["rows"], site.chapterCount());
    EXPECT_EQ(report["chapter"]["row"], 2);
    EXPECT_EQ(gbk(report["chapter"]["savedText"].get<std::string>()), site.expectedChapterFile(2));

    const Finished broken = run({"test", site.listUrl(), "--rule", "坏规则", "--json"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(nlohmann::json::parse(broken.out)["list"]["rows"], 0);

    const Finished unknown = run({"test", "http://example.invalid/b/", "--json"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("suggest"), std::string::npos) << unknown.err;
    EXPECT_EQ(bytes(u8"下载配置.xml"), before);
    EXPECT_FALSE(fs::exists(work_ / fs::path(encoding::gbkToUtf8(site.novelName()))));
}

TEST_F(RuleCommandsTest, SuggestAddsATestedRuleThatDownloads)
{
    NovelSite site;
    const Finished shown = run({"suggest", site.listUrl()});
    EXPECT_EQ(shown.status, 0) << shown.out << shown.err;
    EXPECT_EQ(rules().ruleNames().size(), 16u);  // nothing added without --add

    const Finished added = run({"suggest", site.listUrl(), "--add", "--json"});
    ASSERT_EQ(added.status, 0) << added.out << added.err;
    const nlohmann::json result = nlohmann::json::parse(added.out);
    EXPECT_EQ(result["added"], "127.0.0.1");
    EXPECT_TRUE(result["report"]["passed"].get<bool>());
    ASSERT_EQ(rules().ruleNames().size(), 17u);
    // The site's rule is now found by its host, and downloads the novel.
    const Finished tested = run({"test", site.listUrl()});
    EXPECT_EQ(tested.status, 0) << tested.out;
    const Finished downloaded = run({"get", site.listUrl()});
    ASSERT_EQ(downloaded.status, 0) << downloaded.err;
    for (int n = 1; n <= site.chapterCount(); ++n) {
        EXPECT_EQ(bytes(chapterFilePath(site.novelName(), n)), site.expectedChapterFile(n)) << n;
    }
    const Finished again = run({"suggest", site.listUrl(), "--add"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(rules().ruleNames().back(), "127.0.0.11");
}

TEST_F(RuleCommandsTest, ExportAndImportRoundTrip)
{
    addLocalRule("本机");
    const Finished one = run({"rules", "export", "本机", "one.xml"});
    ASSERT_EQ(one.status, 0) << one.err;
    const Finished all = run({"rules", "export", "--all", "all.xml"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(bytes("all.xml"), bytes(u8"下载配置.xml"));

    const Finished imported = run({"rules", "import", "one.xml"});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("本机1"), std::string::npos) << imported.out;
    EXPECT_EQ(rules().ruleNames().back(), gbk("本机1"));

    // Refused: no such rule, and a file that is no rules file; nothing written.
    const std::string before = bytes(u8"下载配置.xml");
    EXPECT_EQ(run({"rules", "export", "没有这条", "x.xml"}).status, 2);
    EXPECT_FALSE(fs::exists(work_ / "x.xml"));
    ASSERT_TRUE(replaceFileContent(work_ / "bad.xml", "<html></html>"));
    const Finished refused = run({"rules", "import", "bad.xml"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("导入被拒绝"), std::string::npos) << refused.err;
    EXPECT_EQ(bytes(u8"下载配置.xml"), before);
}
