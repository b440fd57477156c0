#include "job/JobRecord.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace velmora;
namespace fs = std::filesystem;
using encoding::toGbk;
using testing::HasSubstr;

namespace {

const std::string kList = "http://127.0.0.1/book/7/";

std::string address(int n)
{
    return "/book/7/" + std::to_string(n) + ".html";
}

std::string title(int n)
{
    return toGbk("第" + std::to_string(n) + "章");
}

// Chapters `first`..`last` as a list page gives them.
std::vector<ChapterLink> links(int first, int last)
{
    std::vector<ChapterLink> out;
    for (int n = first; n <= last; ++n) {
        out.push_back({address(n), title(n)});
    }
    return out;
}

// A record of `chapters`, every row saved.
JobRecord savedRecord(const std::vector<ChapterLink>& chapters)
{
    JobRecord record{kList, toGbk("58看书"), toGbk("某书"), toGbk("某人"), {}};
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        record.rows.push_back({static_cast<int>(i + 1), true, chapters[i].address, chapters[i].title});
    }
    return record;
}

// A novel folder with a chapter file for every saved row of `record`.
void saveChapterFiles(const fs::path& folder, const JobRecord& record)
{
    fs::create_directories(folder);
    for (std::size_t i = 0; i < record.rows.size(); ++i) {
        if (record.rows[i].saved) {
            ASSERT_TRUE(replaceFileContent(folder / (std::to_string(i + 1) + ".txt"), record.rows[i].title));
        }
    }
}

std::vector<RowPlan> repeat(RowPlan plan, int count)
{
    return std::vector<RowPlan>(static_cast<std::size_t>(count), plan);
}

std::vector<RowPlan> operator+(std::vector<RowPlan> a, const std::vector<RowPlan>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(JobRecordTest, FileIsTheDocumentedText)
{
    TempFolder folder("velmora-record");
    JobRecord record{"http://h/l", "R", "N", "A", {{1, true, "/1.html", "T1"}, {2, false, "/2.html", "T\t2"}}};
    ASSERT_TRUE(writeJobRecord(record, folder / "N"));
    EXPECT_EQ(readFileBytes(folder / "N" / "下载记录.txt"),
              "velmora-job 1\r\n" + toGbk("列表网址") + "=http://h/l\r\n" + toGbk("规则") + "=R\r\n" + toGbk("书名")
                  + "=N\r\n" + toGbk("作者") + "=A\r\n" + toGbk("章节数") + "=2\r\n\r\n"
                  + "1\t1\t/1.html\tT1\r\n2\t0\t/2.html\tT\\t2\r\n");
    EXPECT_EQ(jobRecordPath(folder / "N"), folder / "N" / "下载记录.txt");
}

// Whatever bytes a page gave come back exactly, and never break the lines.
TEST(JobRecordTest, AwkwardTextRoundTrips)
{
    TempFolder folder("velmora-record");
    // clang-format off
    const std::string awkward[] = {
        "tab\there",
        "line\nbreak\r\nand\rreturn",
        "back\\slash\\",
        "\\t not a tab",
        std::string("nul\0byte", 8),
        "\x01\x1F\x7F control",
        "\x81\x5C" "trail byte 5C, \x81 lone lead, \xFF",
        "=x=y",
        "",
    };
    // clang-format on
    JobRecord record{"http://h/?a=1&b=\t", "R=1", toGbk("书\n名"), "\\", {}};
    int number = 0;
    for (const std::string& text : awkward) {
        ++number;
        record.rows.push_back({number, number % 2 == 0, text + "/addr", text});
    }
    record.rows.push_back({7, true, "", ""});
    ASSERT_TRUE(writeJobRecord(record, folder.path()));

    const std::string bytes = readFileBytes(jobRecordPath(folder.path())).value_or("");
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 7 + static_cast<long>(record.rows.size()));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\t'), 3 * static_cast<long>(record.rows.size()));
    const JobRecordResult read = readJobRecord(folder.path());
    ASSERT_TRUE(read.ok()) << read.message;
    EXPECT_EQ(read.record, record);
    EXPECT_EQ(read.message, "");
}

TEST(JobRecordTest, WriteReplacesTheRecordWholeAndCreatesTheFolder)
{
    TempFolder folder("velmora-record");
    const fs::path novel = folder / "deep" / "N";
    JobRecord record = savedRecord(links(1, 3));
    ASSERT_TRUE(writeJobRecord(record, novel));
    record.rows.resize(1);
    ASSERT_TRUE(writeJobRecord(record, novel));
    EXPECT_EQ(readJobRecord(novel).record, record);
    EXPECT_FALSE(fs::exists(novel / "下载记录.txt.tmp"));

    ASSERT_TRUE(replaceFileContent(folder / "file", "x"));
    EXPECT_FALSE(writeJobRecord(record, folder / "file" / "N"));
}

struct BadRecordCase {
    std::string name;
    std::string bytes;  // UTF-8 here, stored as GBK
    JobRecordStatus status;
    std::string message;  // part of the message
};

void PrintTo(const BadRecordCase& c, std::ostream* os)
{
    *os << c.name;
}

class BadRecordTest : public testing::TestWithParam<BadRecordCase> {};

// A record that cannot be trusted is ignored, and the user is told why.
TEST_P(BadRecordTest, IsIgnoredWithAClearMessage)
{
    TempFolder folder("velmora-record");
    ASSERT_TRUE(replaceFileContent(jobRecordPath(folder.path()), toGbk(GetParam().bytes)));
    const JobRecordResult read = readJobRecord(folder.path());
    EXPECT_EQ(read.status, GetParam().status);
    EXPECT_THAT(read.message, HasSubstr(GetParam().message));
    EXPECT_EQ(read.record, JobRecord());
}

const std::string kHeader = "velmora-job 1\r\n列表网址=L\r\n规则=R\r\n书名=N\r\n作者=A\r\n";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, BadRecordTest, testing::Values(
    BadRecordCase{"empty", "", JobRecordStatus::damaged, "下载记录已损坏（第1行：文件是空的），已忽略"},
    BadRecordCase{"foreign", "title\tauthor\r\n", JobRecordStatus::foreign, "下载记录不是本程序写的，已忽略"},
    BadRecordCase{"newer", "velmora-job 2\r\n", JobRecordStatus::foreign, "下载记录的格式版本（2）无法识别，已忽略"},
    BadRecordCase{"cut short", kHeader + "章节数=1\r\n\r\n1\t1\t/a\tT", JobRecordStatus::damaged,
                  "第8行：最后一行不完整"},
    BadRecordCase{"no equals", kHeader + "章节数\r\n\r\n", JobRecordStatus::damaged, "第6行：没有“=”"},
    BadRecordCase{"missing key", "velmora-job 1\r\n列表网址=L\r\n\r\n", JobRecordStatus::damaged, "缺少“规则”"},
    BadRecordCase{"repeated key", kHeader + "书名=M\r\n", JobRecordStatus::damaged, "第6行：重复的“书名”"},
    BadRecordCase{"bad count", kHeader + "章节数=x\r\n\r\n", JobRecordStatus::damaged, "章节数不是数字"},
    BadRecordCase{"three fields", kHeader + "章节数=1\r\n\r\n1\t1\t/a\r\n", JobRecordStatus::damaged,
                  "第8行：章节行应有4栏"},
    BadRecordCase{"bad number", kHeader + "章节数=1\r\n\r\n-1\t1\t/a\tT\r\n", JobRecordStatus::damaged,
                  "第8行：序号不是数字"},
    BadRecordCase{"bad flag", kHeader + "章节数=1\r\n\r\n1\tyes\t/a\tT\r\n", JobRecordStatus::damaged,
                  "第8行：下载标志应为0或1"},
    BadRecordCase{"bad escape", kHeader + "章节数=1\r\n\r\n1\t1\t/a\tT\\q\r\n", JobRecordStatus::damaged,
                  "第8行：无法识别的转义"},
    BadRecordCase{"short hex", kHeader + "章节数=1\r\n\r\n1\t1\t/a\\x4\tT\r\n", JobRecordStatus::damaged,
                  "第8行：无法识别的转义"},
    BadRecordCase{"rows lost", kHeader + "章节数=2\r\n\r\n1\t1\t/a\tT\r\n", JobRecordStatus::damaged,
                  "章节行数与章节数不符"}
));
// clang-format on

TEST(JobRecordTest, ToleratesLfLinesAndUnknownKeys)
{
    TempFolder folder("velmora-record");
    const std::string text = "velmora-job 1\n列表网址=L\n规则=R\n书名=N\n作者=A\n将来=?\n章节数=1\n\n1\t0\t/a\tT\n";
    ASSERT_TRUE(replaceFileContent(jobRecordPath(folder.path()), toGbk(text)));
    const JobRecordResult read = readJobRecord(folder.path());
    ASSERT_TRUE(read.ok()) << read.message;
    EXPECT_EQ(read.record, (JobRecord{"L", "R", "N", "A", {{1, false, "/a", "T"}}}));
}

TEST(JobRecordTest, MissingAndForeignRecords)
{
    TempFolder folder("velmora-record");
    JobRecordResult read = readJobRecord(folder.path());
    EXPECT_EQ(read.status, JobRecordStatus::missing);
    EXPECT_EQ(read.message, "没有下载记录");

    fs::create_directories(jobRecordPath(folder.path()));
    EXPECT_EQ(readJobRecord(folder.path()).status, JobRecordStatus::damaged);
    fs::remove(jobRecordPath(folder.path()));

    const JobRecord record = savedRecord(links(1, 2));
    ASSERT_TRUE(writeJobRecord(record, folder.path()));
    EXPECT_TRUE(readJobRecord(folder.path(), kList, record.novelName).ok());
    read = readJobRecord(folder.path(), kList + "?page=2", record.novelName);
    EXPECT_EQ(read.status, JobRecordStatus::foreign);
    EXPECT_EQ(read.message, "下载记录属于另一个章节列表网址，已忽略");
    read = readJobRecord(folder.path(), kList, toGbk("某书续"));
    EXPECT_EQ(read.status, JobRecordStatus::foreign);
    EXPECT_EQ(read.message, "下载记录属于另一本小说，已忽略");
    EXPECT_EQ(read.record, JobRecord());
}

// Only rows whose file still holds the same chapter are left out of the next
// download.
TEST(JobRecordTest, PlanFetchesOnlyWhatIsNotSaved)
{
    const RowPlan done = RowPlan::done;
    const std::vector<ChapterLink> ten = links(1, 10);
    std::vector<ChapterLink> inserted = ten;
    inserted.insert(inserted.begin() + 3, ChapterLink{"/book/7/new.html", toGbk("插入的一章")});
    std::vector<ChapterLink> removed = ten;
    removed.erase(removed.begin() + 3);
    std::vector<ChapterLink> retitled = ten;
    retitled[1].title = toGbk("第2章 （修改）");

    struct Case {
        std::string name;
        std::vector<ChapterLink> fresh;
        std::vector<RowPlan> expected;
    };
    const Case cases[] = {
        {"unchanged", ten, repeat(done, 10)},
        {"grown to 15", links(1, 15), repeat(done, 10) + repeat(RowPlan::unrecorded, 5)},
        {"one inserted before 4", inserted,
         repeat(done, 3) + repeat(RowPlan::addressChanged, 7) + repeat(RowPlan::unrecorded, 1)},
        {"4 removed", removed, repeat(done, 3) + repeat(RowPlan::addressChanged, 6)},
        {"2 retitled", retitled, repeat(done, 1) + repeat(RowPlan::titleChanged, 1) + repeat(done, 8)},
        {"empty list", {}, {}},
    };
    TempFolder folder("velmora-record");
    const JobRecord record = savedRecord(ten);
    saveChapterFiles(folder.path(), record);
    for (const Case& c : cases) {
        EXPECT_EQ(planRows(record, c.fresh, folder.path()), c.expected) << c.name;
    }

    JobRecord partial = record;
    partial.rows[6].saved = false;
    fs::remove(folder / "5.txt");
    fs::remove(folder / "9.txt");
    fs::create_directory(folder / "9.txt");  // not a chapter file
    EXPECT_EQ(planRows(partial, ten, folder.path()), repeat(done, 4) + repeat(RowPlan::fileMissing, 1) + repeat(done, 1)
                                                         + repeat(RowPlan::notSaved, 1) + repeat(done, 1)
                                                         + repeat(RowPlan::fileMissing, 1) + repeat(done, 1));
    EXPECT_EQ(planRows(JobRecord(), ten, folder.path()), repeat(RowPlan::unrecorded, 10));
}

TEST(JobRecordTest, FindsTheNovelFoldersWithARecord)
{
    TempFolder folder("velmora-record");
    const JobRecord record = savedRecord(links(1, 1));
    ASSERT_TRUE(writeJobRecord(record, folder / "乙"));
    ASSERT_TRUE(writeJobRecord(record, folder / "甲"));
    fs::create_directories(folder / "damaged");
    ASSERT_TRUE(replaceFileContent(folder / "damaged" / "下载记录.txt", "?"));
    fs::create_directories(folder / "no record");
    fs::create_directories(folder / "odd" / "下载记录.txt");
    ASSERT_TRUE(replaceFileContent(folder / "a file", "x"));
    ASSERT_TRUE(writeJobRecord(record, folder / "nested" / "deeper"));

    EXPECT_EQ(findJobFolders(folder.path()), (std::vector<fs::path>{folder / "damaged", folder / "乙", folder / "甲"}));
    EXPECT_EQ(findJobFolders(folder / "missing"), std::vector<fs::path>{});
}
