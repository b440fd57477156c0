// Following a novel from the window across restarts: the job record beside
// the chapters, "只下载新章节" and "同时生成EPUB", against the local site as it
// grows and changes.
#include "WindowTestFixture.h"

#include "core/Settings.h"
#include "job/Epub.h"
#include "job/JobRecord.h"
#include "support/Epubcheck.h"
#include "support/Gbk.h"

#include <gmock/gmock.h>

#include <functional>

namespace velmora::test {
namespace {

struct ResumeCase {
    const char* name;
    bool newChaptersOnly;
    // What happens between the first run and the restart.
    std::function<void(NovelSite& site, const fs::path& novelFolder)> change;
    std::vector<int> fetchedRows;  // rows (from 1) the second run fetches; the others show "下载完毕"
    const char* status;            // in the status line after the second retrieval
    bool epub = false;
};

void PrintTo(const ResumeCase& c, std::ostream* os)
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

class FollowNovelTest : public WindowTest, public testing::WithParamInterface<ResumeCase> {
protected:
    QCheckBox* box(const char* name) { return control<QCheckBox>(name); }

    // Closes the window and opens a new one, as a new start of the program does.
    void restart()
    {
        window_.reset();
        window();
    }
};

TEST_P(FollowNovelTest, SecondStartFetchesOnlyWhatTheRecordLacks)
{
    const ResumeCase& c = GetParam();
    NovelSite site({.chapters = 10});
    if (c.newChaptersOnly) {
        box("选择框_只下载新章节")->click();
    }
    if (c.epub) {
        box("选择框_同时生成EPUB")->click();
    }
    fetchList(site.listUrl());
    button("按钮_下载章节内容")->click();  // returns when the run has ended
    ASSERT_EQ(fileBytes(mergedFilePath(site.novelName(), site.author())), site.expectedMergedNovel());
    EXPECT_TRUE(readJobRecord(novelFolderPath(site.novelName())).ok());

    c.change(site, novelFolderPath(site.novelName()));
    site.clearRequests();
    restart();
    EXPECT_EQ(box("选择框_只下载新章节")->isChecked(), c.newChaptersOnly);
    EXPECT_EQ(box("选择框_同时生成EPUB")->isChecked(), c.epub);
    fetchList(site.listUrl());
    EXPECT_THAT(status().toStdString(), testing::HasSubstr(c.status));
    const std::vector<int> listed = site.chapterNumbers();
    ASSERT_EQ(list()->topLevelItemCount(), static_cast<int>(listed.size()));
    for (int row = 1; row <= static_cast<int>(listed.size()); ++row) {
        const bool fetched = std::find(c.fetchedRows.begin(), c.fetchedRows.end(), row) != c.fetchedRows.end();
        EXPECT_EQ(checked(row - 1), fetched) << row;
        EXPECT_EQ(cell(row - 1, 3), fetched ? "等待下载" : "下载完毕") << row;
    }

    button("按钮_下载章节内容")->click();
    for (int row = 1; row <= static_cast<int>(listed.size()); ++row) {
        const bool fetched = std::find(c.fetchedRows.begin(), c.fetchedRows.end(), row) != c.fetchedRows.end();
        EXPECT_EQ(site.requestsFor(listed[row - 1]), fetched ? 1 : 0) << row;
        EXPECT_EQ(fileBytes(chapterFilePath(site.novelName(), row)), site.expectedChapterFile(listed[row - 1]));
    }
    EXPECT_EQ(fileBytes(mergedFilePath(site.novelName(), site.author())), site.expectedMergedNovel());
    EXPECT_EQ(status(), "整本小说下载完毕");
    // The record now holds every row saved: a third start would fetch nothing.
    const JobRecordResult record = readJobRecord(novelFolderPath(site.novelName()), site.listUrl(), site.novelName());
    ASSERT_TRUE(record.ok()) << record.message;
    ASSERT_EQ(record.record.rows.size(), listed.size());
    for (const JobRecordRow& row : record.record.rows) {
        EXPECT_TRUE(row.saved) << row.number;
    }
    EXPECT_EQ(record.record.ruleName, gbk("58看书"));

    const fs::path book = epubFilePath(site.novelName(), site.author());
    EXPECT_EQ(fs::exists(book), c.epub);
    if (c.epub) {
        // The book holds the whole novel, not only this run's chapters.
        const std::string bytes = fileBytes(book);
        EXPECT_NE(bytes.find("OEBPS/c15.xhtml"), std::string::npos);
        EXPECT_EQ(bytes.find("OEBPS/c16.xhtml"), std::string::npos);
        const std::optional<std::string> epubcheck = epubcheckCommand();
        if (epubcheck) {
            const auto [exit, output] = runEpubcheck(*epubcheck, book);
            EXPECT_EQ(exit, 0) << output;
            EXPECT_THAT(output, testing::Not(testing::HasSubstr("ERROR"))) << output;
        }
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Window, FollowNovelTest,
    testing::Values(
        ResumeCase{"SiteGrownToFifteen", true, [](NovelSite& site, const fs::path&) { site.growTo(15); },
                   rowsFrom(11, 15), "已下载过10章，5章待下载", true},
        ResumeCase{"ChapterInsertedInTheMiddle", true,
                   [](NovelSite& site, const fs::path&) { site.insertChapter(4); }, rowsFrom(4, 11),
                   "已下载过3章，8章待下载"},
        ResumeCase{"ChapterFileRemoved", true,
                   [](NovelSite&, const fs::path& folder) { fs::remove(chapterFileIn(folder, 7)); }, {7},
                   "已下载过9章，1章待下载"},
        ResumeCase{"DamagedRecordIsIgnored", true,
                   [](NovelSite&, const fs::path& folder) {
                       const std::string text = readFileBytes(jobRecordPath(folder)).value();
                       replaceFileContent(jobRecordPath(folder), text.substr(0, text.size() / 2));
                   },
                   rowsFrom(1, 10), "下载记录已损坏"},
        ResumeCase{"RecordOfAnotherListIsIgnored", true,
                   [](NovelSite&, const fs::path& folder) {
                       JobRecord record = readJobRecord(folder).record;
                       record.listAddress = "http://127.0.0.1:1/book/2/";
                       writeJobRecord(record, folder);
                   },
                   rowsFrom(1, 10), "下载记录属于另一个章节列表网址，已忽略，将下载全部章节"},
        ResumeCase{"BoxUncheckedDownloadsEverything", false, [](NovelSite& site, const fs::path&) { site.growTo(12); },
                   rowsFrom(1, 12), "小说章节名获取成功，请点击下载章节内容！"}),
    [](const testing::TestParamInfo<ResumeCase>& caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

TEST_F(WindowTest, DownloadOptionsAreRememberedInTheSettingsFile)
{
    EXPECT_FALSE(control<QCheckBox>("选择框_只下载新章节")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("选择框_同时生成EPUB")->isChecked());
    control<QCheckBox>("选择框_同时生成EPUB")->click();
    const DownloadOptions saved = readDownloadOptions(folder_ / kSettingsFileName);
    EXPECT_FALSE(saved.newChaptersOnly);
    EXPECT_TRUE(saved.alsoEpub);
    // Neither box sits on another control.
    for (const char* name : {"选择框_只下载新章节", "选择框_同时生成EPUB"}) {
        QWidget* added = control<QCheckBox>(name);
        const QRect area(added->mapTo(&window(), QPoint(0, 0)), added->size());
        EXPECT_TRUE(window().rect().contains(area)) << name;
        for (QWidget* other : window().findChildren<QWidget*>()) {
            if (other == added || !other->isVisible() || other->parentWidget() != other->window()
                || other->objectName() == "rowToolsPanel") {
                continue;
            }
            EXPECT_FALSE(other->geometry().intersects(area))
                << name << " overlaps " << other->objectName().toStdString();
        }
    }
}

TEST_F(WindowTest, BookThatCannotBeWrittenIsReportedAndTheMergedNovelStays)
{
    NovelSite site;
    const fs::path book = epubFilePath(site.novelName(), site.author());
    fs::create_directories(book / "taken");  // nothing can be renamed onto a folder that holds something
    control<QCheckBox>("选择框_同时生成EPUB")->click();
    fetchList(site.listUrl());
    forgetShown();
    button("按钮_下载章节内容")->click();
    EXPECT_EQ(fileBytes(mergedFilePath(site.novelName(), site.author())), site.expectedMergedNovel());
    EXPECT_EQ(status(), "整本小说下载完毕，但EPUB文件无法写入！");
    ASSERT_EQ(shown().size(), 1u);
    EXPECT_EQ(shown()[0].style, styleError);
    EXPECT_TRUE(fs::is_directory(book / "taken"));
}

}  // namespace
}  // namespace velmora::test
