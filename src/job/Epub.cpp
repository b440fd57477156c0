#include "job/Epub.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/Text.h"
#include "job/ChapterFiles.h"

#include <ctime>
#include <deque>
#include <memory>
#include <optional>
#include <uuid/uuid.h>
#include <zip.h>

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kLanguage = "zh-CN";
// zlib's own default level: libzip's default (9) took about 40% longer in
// bench/epub_bench and made the book no smaller.
constexpr zip_uint32_t kDeflateLevel = 6;

// The character at `i` of valid UTF-8 text and its length in bytes.
std::pair<char32_t, std::size_t> decodeUtf8(std::string_view s, std::size_t i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (i + length > s.size()) {
        return {0xFFFD, s.size() - i};
    }
    char32_t code = length == 1 ? c : c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        code = (code << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    return {code, length};
}

// Characters that XML 1.0 cannot hold, or that HTML forbids in text: control
// characters other than tab and line breaks, and the two non-characters.
bool unwanted(char32_t c)
{
    return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF;
}

bool blank(char32_t c)
{
    return c == ' ' || c == '\t' || c == 0xA0 || c == 0x3000;
}

// GBK text as UTF-8 without the unwanted characters.
std::string cleanUtf8(std::string_view gbk)
{
    const std::string utf8 = encoding::gbkToUtf8(gbk);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto [c, length] = decodeUtf8(utf8, i);
        if (!unwanted(c)) {
            out.append(utf8, i, length);
        }
        i += length;
    }
    return out;
}

// `s` without blanks (spaces, tabs, full-width and no-break spaces) at
// either end.
std::string_view trimBlanks(std::string_view s)
{
    std::size_t begin = 0;
    std::size_t end = 0;  // just past the last character that is not blank
    for (std::size_t i = 0; i < s.size();) {
        const auto [c, length] = decodeUtf8(s, i);
        i += length;
        if (!blank(c)) {
            if (end == 0) {
                begin = i - length;
            }
            end = i;
        }
    }
    return s.substr(begin, end - begin);
}

void appendEscaped(std::string& out, std::string_view s)
{
    for (const char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out.push_back(c);
        }
    }
}

std::string escaped(std::string_view s)
{
    std::string out;
    appendEscaped(out, s);
    return out;
}

// The non-blank lines of UTF-8 text, each trimmed.
std::vector<std::string_view> paragraphs(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = trimBlanks(text.substr(start, end - start));
        if (!line.empty()) {
            lines.push_back(line);
        }
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

std::string timestampUtc(std::time_t now)
{
    std::tm parts{};
    gmtime_r(&now, &parts);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return buffer;
}

std::string xhtmlDocument(std::string_view title, std::string_view body)
{
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
                      "<html xmlns=\"http://www.w3.org/1999/xhtml\" xmlns:epub=\"http://www.idpf.org/2007/ops\" "
                      "xml:lang=\"zh-CN\" lang=\"zh-CN\">\n<head>\n<title>";
    out += title;
    out += "</title>\n<link rel=\"stylesheet\" type=\"text/css\" href=\"style.css\"/>\n</head>\n<body>\n";
    out += body;
    out += "</body>\n</html>\n";
    return out;
}

constexpr std::string_view kContainer =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<container version=\"1.0\" xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
    "<rootfiles>\n"
    "<rootfile full-path=\"OEBPS/content.opf\" media-type=\"application/oebps-package+xml\"/>\n"
    "</rootfiles>\n"
    "</container>\n";

constexpr std::string_view kStyle = "body { margin: 0 0.5em; line-height: 1.6; }\n"
                                    "h1 { font-size: 1.4em; text-align: center; margin: 1em 0; }\n"
                                    "p { margin: 0.4em 0; text-indent: 2em; }\n"
                                    "p.author { text-align: center; text-indent: 0; }\n";

// One document of the book: its file name under OEBPS, its manifest id, the
// title in the table of contents, and its content.
struct Document {
    std::string name;
    std::string id;
    std::string title;  // escaped
    std::string content;
};

struct ZipDeleter {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

// The zip container of `entries` (name, bytes), in that order, the first one
// stored and the rest compressed; nothing when libzip fails.
std::optional<std::string> zipArchive(const std::vector<std::pair<std::string, std::string_view>>& entries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_error_fini(&error);
    if (buffer == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<zip_source_t, decltype(&zip_source_free)> ownBuffer(buffer, zip_source_free);
    zip_error_init(&error);
    std::unique_ptr<zip_t, ZipDeleter> archive(zip_open_from_source(buffer, ZIP_TRUNCATE, &error));
    zip_error_fini(&error);
    if (!archive) {
        return std::nullopt;
    }
    // The archive now holds the buffer; a second reference keeps it after
    // the archive is closed, to read the bytes from.
    zip_source_keep(buffer);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& [name, bytes] = entries[i];
        zip_source_t* source = zip_source_buffer(archive.get(), bytes.data(), bytes.size(), 0);
        if (source == nullptr) {
            return std::nullopt;
        }
        const zip_int64_t index = zip_file_add(archive.get(), name.c_str(), source, 0);
        if (index < 0) {
            zip_source_free(source);
            return std::nullopt;
        }
        const zip_int32_t method = i == 0 ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
        const zip_uint32_t level = i == 0 ? 0 : kDeflateLevel;
        if (zip_set_file_compression(archive.get(), static_cast<zip_uint64_t>(index), method, level) != 0) {
            return std::nullopt;
        }
    }
    if (zip_close(archive.get()) != 0) {
        return std::nullopt;
    }
    archive.release();

    if (zip_source_open(buffer) != 0) {
        return std::nullopt;
    }
    std::string bytes;
    char chunk[65536];
    zip_int64_t n = 0;
    while ((n = zip_source_read(buffer, chunk, sizeof chunk)) > 0) {
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    zip_source_close(buffer);
    if (n < 0) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

fs::path epubFilePath(std::string_view novelName, std::string_view author)
{
    return mergedFilePath(novelName, author).replace_extension(".epub");
}

EpubChapter splitStoredChapter(std::string_view stored)
{
    const std::size_t end = stored.find_first_of("\r\n");
    if (end == std::string_view::npos) {
        return {std::string(stored), std::string()};
    }
    const std::size_t next = end + (stored.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    return {std::string(stored.substr(0, end)), std::string(stored.substr(next))};
}

EpubBook epubBookFromRecord(const JobRecord& record, const fs::path& novelFolder)
{
    EpubBook book{record.listAddress, record.novelName, record.author, {}};
    for (std::size_t i = 0; i < record.rows.size(); ++i) {
        if (!record.rows[i].saved) {
            continue;
        }
        if (const auto stored = readFileBytes(chapterFileIn(novelFolder, static_cast<int>(i + 1)))) {
            book.chapters.push_back(splitStoredChapter(*stored));
        }
    }
    return book;
}

std::string epubIdentifier(std::string_view listAddress, std::string_view novelName)
{
    std::string name(listAddress);
    name += '\n';
    name += novelName;
    uuid_t id;
    uuid_generate_sha1(id, *uuid_get_template("url"), name.data(), name.size());
    char text[37];
    uuid_unparse_lower(id, text);
    return std::string("urn:uuid:") + text;
}

bool writeEpubFile(const EpubBook& book, const fs::path& file)
{
    const std::string identifier = escaped(epubIdentifier(book.listAddress, book.novelName));
    std::string title = escaped(trimBlanks(cleanUtf8(book.novelName)));
    if (title.empty()) {
        title = "未命名";
    }
    const std::string author = escaped(trimBlanks(cleanUtf8(book.author)));

    // Documents are built first and kept here, as libzip reads them only
    // when the archive is closed.
    std::deque<Document> documents;
    std::string titlePage = "<section epub:type=\"titlepage\">\n<h1>" + title + "</h1>\n";
    if (!author.empty()) {
        titlePage += "<p class=\"author\">" + author + "</p>\n";
    }
    titlePage += "</section>\n";
    documents.push_back({"title.xhtml", "title-page", title, xhtmlDocument(title, titlePage)});

    for (std::size_t i = 0; i < book.chapters.size(); ++i) {
        const std::string number = text::decimal(static_cast<long long>(i + 1));
        std::string heading = escaped(trimBlanks(cleanUtf8(book.chapters[i].title)));
        if (heading.empty()) {
            heading = number;
        }
        std::string body = "<section epub:type=\"chapter\">\n<h1>" + heading + "</h1>\n";
        const std::string text = cleanUtf8(book.chapters[i].text);
        for (const std::string_view line : paragraphs(text)) {
            body += "<p>";
            appendEscaped(body, line);
            body += "</p>\n";
        }
        body += "</section>\n";
        documents.push_back({"c" + number + ".xhtml", "c" + number, heading, xhtmlDocument(heading, body)});
    }
    // The table of contents lists the chapters, or the title page of a book
    // without any (a table of contents is never empty).
    const std::size_t firstListed = documents.size() > 1 ? 1 : 0;

    std::string nav = "<nav epub:type=\"toc\" id=\"toc\">\n<h1>目录</h1>\n<ol>\n";
    std::string navMap;
    for (std::size_t i = firstListed; i < documents.size(); ++i) {
        const Document& d = documents[i];
        nav += "<li><a href=\"" + d.name + "\">" + d.title + "</a></li>\n";
        const std::string order = text::decimal(static_cast<long long>(i - firstListed + 1));
        navMap += "<navPoint id=\"p" + order + "\" playOrder=\"" + order + "\"><navLabel><text>" + d.title
                  + "</text></navLabel><content src=\"" + d.name + "\"/></navPoint>\n";
    }
    nav += "</ol>\n</nav>\n";
    const std::string navDocument = xhtmlDocument(title, nav);

    std::string ncx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<ncx xmlns=\"http://www.daisy.org/z3986/2005/ncx/\" version=\"2005-1\" xml:lang=\"zh-CN\">\n"
                      "<head>\n<meta name=\"dtb:uid\" content=\""
                      + identifier
                      + "\"/>\n"
                        "<meta name=\"dtb:depth\" content=\"1\"/>\n"
                        "<meta name=\"dtb:totalPageCount\" content=\"0\"/>\n"
                        "<meta name=\"dtb:maxPageNumber\" content=\"0\"/>\n</head>\n"
                        "<docTitle><text>"
                      + title + "</text></docTitle>\n";
    if (!author.empty()) {
        ncx += "<docAuthor><text>" + author + "</text></docAuthor>\n";
    }
    ncx += "<navMap>\n" + navMap + "</navMap>\n</ncx>\n";

    std::string opf = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" unique-identifier=\"book-id\" "
                      "xml:lang=\"zh-CN\">\n<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                      "<dc:identifier id=\"book-id\">"
                      + identifier
                      + "</dc:identifier>\n"
                        "<dc:title>"
                      + title + "</dc:title>\n";
    if (!author.empty()) {
        opf += "<dc:creator>" + author + "</dc:creator>\n";
    }
    opf += "<dc:language>" + std::string(kLanguage) + "</dc:language>\n";
    opf += "<meta property=\"dcterms:modified\">" + timestampUtc(std::time(nullptr)) + "</meta>\n</metadata>\n";
    opf += "<manifest>\n"
           "<item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>\n"
           "<item id=\"ncx\" href=\"toc.ncx\" media-type=\"application/x-dtbncx+xml\"/>\n"
           "<item id=\"style\" href=\"style.css\" media-type=\"text/css\"/>\n";
    std::string spine = "<spine toc=\"ncx\">\n";
    for (const Document& d : documents) {
        opf += "<item id=\"" + d.id + "\" href=\"" + d.name + "\" media-type=\"application/xhtml+xml\"/>\n";
        spine += "<itemref idref=\"" + d.id + "\"/>\n";
    }
    opf += "</manifest>\n" + spine + "</spine>\n</package>\n";

    std::vector<std::pair<std::string, std::string_view>> entries = {
        {"mimetype", "application/epub+zip"},
        {"META-INF/container.xml", kContainer},
        {"OEBPS/content.opf", opf},
        {"OEBPS/nav.xhtml", navDocument},
        {"OEBPS/toc.ncx", ncx},
        {"OEBPS/style.css", kStyle},
    };
    for (const Document& d : documents) {
        entries.emplace_back("OEBPS/" + d.name, d.content);
    }
    const std::optional<std::string> bytes = zipArchive(entries);
    return bytes && replaceFileContent(file, *bytes);
}

}  // namespace velmora
