#include "job/Epub.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/Text.h"
#include "support/Epubcheck.h"
#include "support/TempFolder.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

using namespace velmora;
namespace fs = std::filesystem;
using encoding::toGbk;
using test::epubcheckCommand;
using test::runEpubcheck;

namespace {

EpubChapter chapter(std::string_view titleUtf8, std::string_view textUtf8)
{
    return {toGbk(titleUtf8), toGbk(textUtf8)};
}

EpubBook plainBook()
{
    EpubBook book{"http://127.0.0.1/book/1/", toGbk("山海行记"), toGbk("林木"), {}};
    book.chapters.push_back(chapter("第一章 出山", "　　清晨，雾还没散。\r\n\r\n　　他背起行囊，走下了山。"));
    book.chapters.push_back(chapter("第二章 渡河", "　　河水很急。\r\n　　船夫摇了摇头。"));
    book.chapters.push_back(chapter("第三章 夜宿", "　　那一夜，他睡在破庙里。"));
    return book;
}

// Text that needs escaping, an empty chapter, control characters, bytes
// that form no GBK character, and a book without an author.
EpubBook awkwardBook()
{
    EpubBook book{"http://127.0.0.1/list?id=2&x=\"y\"", toGbk("<危险> & \"引号\""), "", {}};
    book.chapters.push_back(chapter("第1章 <b>粗体</b> & 'x'", "a < b && c > d\r\n\"quoted\" 'single' &amp;\r\n]]>"));
    book.chapters.push_back({"", ""});
    book.chapters.push_back({"\x01\x1B" + toGbk("控制") + "\x7F",
                             "\x01line\x02 one\x0B\x0C\r\n\ttabbed\t\r\n\xFF\x80odd\r\n" + toGbk("尾") + "\x81"});
    return book;
}

// The entries of a zip file: name -> bytes, and names in order.
struct ZipContents {
    std::vector<std::string> names;
    std::map<std::string, std::string> files;
    std::vector<zip_uint16_t> methods;
};

ZipContents readZip(const fs::path& file)
{
    ZipContents contents;
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (archive == nullptr) {
        ADD_FAILURE() << "cannot open " << file << ": libzip error " << error;
        return contents;
    }
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        std::string bytes(stat.size, '\0');
        zip_file_t* entry = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
        EXPECT_EQ(zip_fread(entry, bytes.data(), bytes.size()), static_cast<zip_int64_t>(bytes.size()));
        zip_fclose(entry);
        contents.names.push_back(stat.name);
        contents.methods.push_back(stat.comp_method);
        contents.files[stat.name] = bytes;
    }
    zip_close(archive);
    return contents;
}

// The XML text of `s` with its five predefined entities resolved.
std::string unescapeXml(std::string s)
{
    static const std::pair<std::string_view, std::string_view> kEntities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        bool replaced = false;
        for (const auto& [entity, text] : kEntities) {
            if (s.compare(i, entity.size(), entity) == 0) {
                out += text;
                i += entity.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out.push_back(s[i++]);
        }
    }
    return out;
}

// The texts of every <tag>...</tag> element of a document, markup removed.
std::vector<std::string> elementTexts(const std::string& document, const std::string& tag)
{
    std::vector<std::string> texts;
    const std::string open = "<" + tag + ">";
    const std::string close = "</" + tag + ">";
    for (std::size_t at = document.find(open); at != std::string::npos; at = document.find(open, at)) {
        at += open.size();
        const std::size_t end = document.find(close, at);
        texts.push_back(unescapeXml(document.substr(at, end - at)));
    }
    return texts;
}

}  // namespace

// The real validator, run on a plain book, an awkward one and an empty one:
// no error and no warning.
TEST(EpubTest, BooksPassEpubcheck)
{
    const std::optional<std::string> epubcheck = epubcheckCommand();
    if (!epubcheck) {
        GTEST_SKIP() << "epubcheck is not installed (scripts/setup installs it)";
    }
    TempFolder folder("velmora-epub");
    EpubBook empty{"", "", "", {}};
    const std::pair<std::string, EpubBook> books[] = {
        {"plain.epub", plainBook()}, {"awkward.epub", awkwardBook()}, {"empty.epub", empty}};
    for (const auto& [name, book] : books) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(writeEpubFile(book, folder / name));
        const auto [status, output] = runEpubcheck(*epubcheck, folder / name);
        EXPECT_EQ(status, 0) << output;
        EXPECT_THAT(output, testing::Not(testing::HasSubstr("ERROR"))) << output;
        EXPECT_THAT(output, testing::Not(testing::HasSubstr("WARNING"))) << output;
    }
}

// What a reader shows is the chapter as stored: its title as the heading and
// its lines, trimmed, as paragraphs, in UTF-8.
TEST(EpubTest, ChapterDocumentsHoldTheChapterText)
{
    TempFolder folder("velmora-epub");
    ASSERT_TRUE(writeEpubFile(awkwardBook(), folder / "b.epub"));
    ZipContents zip = readZip(folder / "b.epub");

    const std::string& first = zip.files["OEBPS/c1.xhtml"];
    EXPECT_EQ(elementTexts(first, "h1"), std::vector<std::string>{"第1章 <b>粗体</b> & 'x'"});
    EXPECT_EQ(elementTexts(first, "p"),
              (std::vector<std::string>{"a < b && c > d", "\"quoted\" 'single' &amp;", "]]>"}));
    const std::string& empty = zip.files["OEBPS/c2.xhtml"];
    EXPECT_EQ(elementTexts(empty, "h1"), std::vector<std::string>{"2"});
    EXPECT_EQ(elementTexts(empty, "p"), std::vector<std::string>{});
    const std::string& control = zip.files["OEBPS/c3.xhtml"];
    EXPECT_EQ(elementTexts(control, "h1"), std::vector<std::string>{"控制"});
    EXPECT_EQ(elementTexts(control, "p"),
              (std::vector<std::string>{"line one", "tabbed", "\xEF\xBF\xBD€odd", "尾\xEF\xBF\xBD"}));

    ASSERT_TRUE(writeEpubFile(plainBook(), folder / "p.epub"));
    zip = readZip(folder / "p.epub");
    const std::vector<std::vector<std::string>> expected = {
        {"清晨，雾还没散。", "他背起行囊，走下了山。"}, {"河水很急。", "船夫摇了摇头。"}, {"那一夜，他睡在破庙里。"}};
    const EpubBook plain = plainBook();
    for (std::size_t i = 0; i < plain.chapters.size(); ++i) {
        const std::string& document = zip.files["OEBPS/c" + std::to_string(i + 1) + ".xhtml"];
        EXPECT_EQ(elementTexts(document, "h1"), std::vector<std::string>{encoding::gbkToUtf8(plain.chapters[i].title)});
        EXPECT_EQ(elementTexts(document, "p"), expected[i]) << "chapter " << i + 1;
    }
}

// Readers find the book's type at a fixed place: the first entry, stored,
// with no extra field, its content right after its name.
TEST(EpubTest, MimetypeComesFirstAndIsStored)
{
    TempFolder folder("velmora-epub");
    ASSERT_TRUE(writeEpubFile(plainBook(), folder / "b.epub"));
    const ZipContents zip = readZip(folder / "b.epub");
    ASSERT_FALSE(zip.names.empty());
    EXPECT_EQ(zip.names[0], "mimetype");
    EXPECT_EQ(zip.methods[0], ZIP_CM_STORE);
    const std::string bytes = readFileBytes(folder / "b.epub").value_or("");
    EXPECT_EQ(bytes.substr(0, 4), "PK\x03\x04");
    EXPECT_EQ(bytes.substr(30, 28), "mimetypeapplication/epub+zip");
    EXPECT_THAT(zip.names, testing::IsSupersetOf({"META-INF/container.xml", "OEBPS/content.opf", "OEBPS/nav.xhtml",
                                                  "OEBPS/toc.ncx", "OEBPS/c1.xhtml", "OEBPS/c3.xhtml"}));
}

// The metadata names the book, its author and language, and keeps one
// identifier for the same novel from the same list.
TEST(EpubTest, MetadataAndStableIdentifier)
{
    const std::string id = epubIdentifier("http://a/list", toGbk("书"));
    EXPECT_THAT(id, testing::MatchesRegex("urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-5[0-9a-f]{3}-[89ab][0-9a-f]{3}-"
                                          "[0-9a-f]{12}"));
    EXPECT_EQ(epubIdentifier("http://a/list", toGbk("书")), id);
    EXPECT_NE(epubIdentifier("http://b/list", toGbk("书")), id);
    EXPECT_NE(epubIdentifier("http://a/list", toGbk("另一本")), id);

    TempFolder folder("velmora-epub");
    const EpubBook book = plainBook();
    ASSERT_TRUE(writeEpubFile(book, folder / "b.epub"));
    ZipContents zip = readZip(folder / "b.epub");
    const std::string& opf = zip.files["OEBPS/content.opf"];
    EXPECT_EQ(elementTexts(opf, "dc:title"), std::vector<std::string>{"山海行记"});
    EXPECT_EQ(elementTexts(opf, "dc:creator"), std::vector<std::string>{"林木"});
    EXPECT_EQ(elementTexts(opf, "dc:language"), std::vector<std::string>{"zh-CN"});
    EXPECT_THAT(opf, testing::HasSubstr(">" + epubIdentifier(book.listAddress, book.novelName) + "</dc:identifier>"));
    EXPECT_THAT(opf, testing::ContainsRegex("<meta property=\"dcterms:modified\">[0-9]{4}-[0-9]{2}-[0-9]{2}T"
                                            "[0-9]{2}:[0-9]{2}:[0-9]{2}Z</meta>"));
    EXPECT_THAT(elementTexts(zip.files["OEBPS/nav.xhtml"], "li"),
                testing::ElementsAre(testing::HasSubstr("第一章 出山"), testing::HasSubstr("第二章 渡河"),
                                     testing::HasSubstr("第三章 夜宿")));
    EXPECT_EQ(elementTexts(zip.files["OEBPS/toc.ncx"], "text"),
              (std::vector<std::string>{"山海行记", "林木", "第一章 出山", "第二章 渡河", "第三章 夜宿"}));
}

TEST(EpubTest, FailedWriteReportsFalseAndLeavesNoFile)
{
    TempFolder folder("velmora-epub");
    ASSERT_TRUE(replaceFileContent(folder / "plain-file", "x"));
    EXPECT_FALSE(writeEpubFile(plainBook(), folder / "plain-file" / "b.epub"));
    EXPECT_FALSE(writeEpubFile(plainBook(), folder / "missing" / "b.epub"));
    EXPECT_FALSE(fs::exists(folder / "missing"));
}

TEST(EpubTest, FileNameAndStoredChapters)
{
    EXPECT_EQ(epubFilePath(toGbk("某书"), toGbk("某人")), fs::path("某书(某人).epub"));
    EXPECT_EQ(epubFilePath("a/b", ""), fs::path("a_b().epub"));
    EXPECT_EQ(epubFilePath("x.txt", "y"), fs::path("x.txt(y).epub"));

    struct Case {
        std::string stored, title, text;
    };
    const Case cases[] = {
        {"T\r\nline1\r\nline2", "T", "line1\r\nline2"},
        {"T\nbody", "T", "body"},
        {"T only", "T only", ""},
        {"\r\nbody", "", "body"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        const EpubChapter split = splitStoredChapter(c.stored);
        EXPECT_EQ(split.title, c.title) << c.stored;
        EXPECT_EQ(split.text, c.text) << c.stored;
    }
}

// A book made from a job holds the saved chapters that are still on disk.
TEST(EpubTest, BookFromRecordTakesTheSavedChapters)
{
    TempFolder folder("velmora-epub");
    JobRecord record{"http://h/l",
                     "R",
                     "N",
                     "A",
                     {{1, true, "/1", "T1"}, {2, false, "/2", "T2"}, {3, true, "/3", "T3"}, {4, true, "/4", "T4"}}};
    ASSERT_TRUE(replaceFileContent(folder / "1.txt", "T1\r\nfirst"));
    ASSERT_TRUE(replaceFileContent(folder / "2.txt", "T2\r\nnot saved"));
    ASSERT_TRUE(replaceFileContent(folder / "4.txt", "T4\r\nfourth\r\nmore"));
    const EpubBook book = epubBookFromRecord(record, folder.path());
    EXPECT_EQ(book.listAddress, "http://h/l");
    EXPECT_EQ(book.novelName, "N");
    EXPECT_EQ(book.author, "A");
    ASSERT_EQ(book.chapters.size(), 2u);
    EXPECT_EQ(book.chapters[0].title, "T1");
    EXPECT_EQ(book.chapters[0].text, "first");
    EXPECT_EQ(book.chapters[1].title, "T4");
    EXPECT_EQ(book.chapters[1].text, "fourth\r\nmore");
}
