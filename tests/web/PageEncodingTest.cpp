#include "web/PageEncoding.h"

#include "support/Gzip.h"
#include "web/PageDecoding.h"

#include <gtest/gtest.h>

using namespace velmora;
using test::gzipBytes;

namespace {

// 中文 in UTF-8 and in GBK; 繁體中文 in Big5 and in GBK.
const std::string kUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kGbk = "\xD6\xD0\xCE\xC4";
const std::string kBig5Traditional = "\xC1\x63\xC5\xE9\xA4\xA4\xA4\xE5";
const std::string kGbkTraditional = "\xB7\xB1\xF3\x77\xD6\xD0\xCE\xC4";
// U+20000 and U+1F600 in GB18030: four bytes each, outside GBK.
// clang-format off
const std::string kGb18030Only = "\x95\x32\x82\x36" "B" "\x94\x39\xFC\x36";
// clang-format on
// U+1F600 in UTF-8, which GBK lacks too.
const std::string kUtf8Emoji = "\xF0\x9F\x98\x80";

const std::string kHtml = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
const std::string kHtmlUtf8 = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n";
const std::string kHtmlBig5 = "HTTP/1.1 200 OK\r\nContent-Type: text/html;charset=\"big5\"\r\n\r\n";
const std::string kGzipped = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\ncontent-encoding:GZIP\r\n\r\n";

std::string chapter(std::string_view head, std::string_view text)
{
    return "<html><head>" + std::string(head) + "<title>t</title></head><body><div id=\"content\">" + std::string(text)
           + "</div></body></html>";
}

struct EncodingCase {
    std::string name;
    std::string headers;
    std::string body;
    PageEncoding setting;
    std::string text;
    std::string encoding;
    std::string why;  // the start of the reason
    std::size_t unrepresentable;
};

void PrintTo(const EncodingCase& c, std::ostream* os)
{
    *os << c.name;
}

class DecodePageTest : public testing::TestWithParam<EncodingCase> {};

TEST_P(DecodePageTest, ReadsTheEncodingTheBytesAreIn)
{
    const EncodingCase& c = GetParam();
    const DecodedPage page = decodePage(c.body, c.headers, c.setting);
    EXPECT_EQ(page.text, c.text);
    EXPECT_EQ(page.encoding, c.encoding);
    EXPECT_TRUE(page.why.starts_with(c.why)) << page.why;
    EXPECT_EQ(page.unrepresentable, c.unrepresentable);
    EXPECT_FALSE(page.gzip);
    EXPECT_FALSE(page.tooLarge);
}

const auto kAutomatic = PageEncoding::automatic;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Pages, DecodePageTest, testing::Values(
    // The meta tag was copied from an old GBK template; the bytes are UTF-8.
    EncodingCase{"Utf8DeclaringGbkInMeta", kHtmlUtf8, chapter("<meta charset=\"gbk\">", kUtf8), kAutomatic,
                 chapter("<meta charset=\"gbk\">", kGbk), "UTF-8", "内容是有效的 UTF-8", 0},
    EncodingCase{"Utf8WithByteOrderMark", kHtml, "\xEF\xBB\xBF" + chapter("", kUtf8), kAutomatic, chapter("", kGbk),
                 "UTF-8", "字节顺序标记", 0},
    EncodingCase{"Utf8WithoutDeclaration", kHtml, chapter("", kUtf8 + kUtf8Emoji), kAutomatic,
                 chapter("", kGbk + "?"), "UTF-8", "内容是有效的 UTF-8", 1},
    EncodingCase{"Utf16WithByteOrderMark", kHtml, std::string("\xFF\xFE<\0p\0>\0\x2D\x4E\x87\x65", 12), kAutomatic,
                 "<p>" + kGbk, "UTF-16LE", "字节顺序标记", 0},
    EncodingCase{"Big5DeclaredInMeta", kHtml,
                 chapter("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">", kBig5Traditional),
                 kAutomatic,
                 chapter("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">", kGbkTraditional),
                 "Big5", "页面 meta 声明 charset=big5", 0},
    EncodingCase{"Big5DeclaredInHeader", kHtmlBig5, chapter("", kBig5Traditional), kAutomatic,
                 chapter("", kGbkTraditional), "Big5", "HTTP 头声明 charset=big5", 0},
    EncodingCase{"Gb18030OnlyCharacters", kHtml, chapter("<meta charset=gb18030>", kGbk + kGb18030Only), kAutomatic,
                 chapter("<meta charset=gb18030>", kGbk + "?B?"), "GB18030", "页面 meta 声明 charset=gb18030", 2},
    EncodingCase{"GbkDeclared", kHtml, chapter("<META CHARSET='GB2312'>", kGbk), kAutomatic,
                 chapter("<META CHARSET='GB2312'>", kGbk), "GBK", "页面 meta 声明 charset=gb2312", 0},
    EncodingCase{"GbkWithoutDeclaration", kHtml, chapter("", kGbk), kAutomatic, chapter("", kGbk), "GB18030",
                 "未声明可用的编码", 0},
    // A server that labels everything UTF-8, serving a GBK page.
    EncodingCase{"GbkMislabelledUtf8InHeader", kHtmlUtf8, chapter("<meta charset=gbk>", kGbk + kGbk), kAutomatic,
                 chapter("<meta charset=gbk>", kGbk + kGbk), "GBK", "页面 meta 声明 charset=gbk；HTTP 头的", 0},
    EncodingCase{"UnknownLabelPassedOver", kHtml, chapter("<meta charset=iso-8859-1>", kGbk), kAutomatic,
                 chapter("<meta charset=iso-8859-1>", kGbk), "GB18030", "未声明可用的编码，按 GB18030；不认识", 0},
    // A UTF-8 page cut inside its last character is still UTF-8; each byte
    // of the cut character becomes a "?", as in Utf8ToGbk.
    EncodingCase{"Utf8CutShort", kHtml, "<p>" + kUtf8 + kUtf8.substr(0, 2), kAutomatic, "<p>" + kGbk + "??",
                 "UTF-8", "内容是有效的 UTF-8", 2},
    EncodingCase{"RuleSetsGbk", kHtml, chapter("", kUtf8), PageEncoding::gbk, chapter("", kUtf8), "GBK",
                 "规则指定 GBK", 0},
    EncodingCase{"RuleSetsUtf8", kHtml, "\xEF\xBB\xBF<meta charset=gbk>" + kUtf8, PageEncoding::utf8,
                 "<meta charset=gbk>" + kGbk, "UTF-8", "规则指定 UTF-8", 0},
    EncodingCase{"RuleSetsBig5", kHtmlUtf8, kBig5Traditional, PageEncoding::big5, kGbkTraditional, "Big5",
                 "规则指定 Big5", 0},
    EncodingCase{"ZeroByteCutsText", kHtml, std::string("<p>\0tail", 8), kAutomatic, "<p>", "GB18030", "未声明", 0}
), [](const testing::TestParamInfo<EncodingCase>& caseInfo) { return caseInfo.param.name; });
// clang-format on

struct GzipCase {
    std::string name;
    std::string headers;
};

class DecodePageGzipTest : public testing::TestWithParam<GzipCase> {};

TEST_P(DecodePageGzipTest, InflatesThenReads)
{
    const DecodedPage page = decodePage(gzipBytes(chapter("", kUtf8)), GetParam().headers);
    EXPECT_TRUE(page.gzip);
    EXPECT_EQ(page.text, chapter("", kGbk));
    EXPECT_EQ(page.encoding, "UTF-8");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Headers, DecodePageGzipTest, testing::Values(
    GzipCase{"NoSpaceAfterColon", kGzipped},
    GzipCase{"XGzip", "HTTP/1.1 200 OK\r\nContent-Encoding:  x-gzip \r\n\r\n"},
    // Some servers compress without saying so; HTML never opens with 1F 8B.
    GzipCase{"Unannounced", kHtml}
), [](const testing::TestParamInfo<GzipCase>& caseInfo) { return caseInfo.param.name; });
// clang-format on

struct AgreementCase {
    std::string name;
    std::string headers;
    std::string body;
};

void PrintTo(const AgreementCase& c, std::ostream* os)
{
    *os << c.name;
}

class AgreesWithMarkerRuleTest : public testing::TestWithParam<AgreementCase> {};

// Wherever converting on "charset=utf-8" in the page gives the right text,
// reading the bytes gives the same bytes.
TEST_P(AgreesWithMarkerRuleTest, GivesTheSameBytes)
{
    const AgreementCase& c = GetParam();
    EXPECT_EQ(decodePage(c.body, c.headers).text, ConvertIfUtf8(DecodePageBody(c.body, c.headers)));
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Pages, AgreesWithMarkerRuleTest, testing::Values(
    AgreementCase{"Utf8Declared", kHtml, chapter("<meta charset=utf-8>", kUtf8 + kUtf8Emoji)},
    // One stray byte in a UTF-8 page: still read as the UTF-8 it declares.
    AgreementCase{"Utf8DeclaredWithStrayByte", kHtml, chapter("<meta charset=\"utf-8\">", kUtf8 + "\xFF" + kUtf8)},
    AgreementCase{"Utf8DeclaredAsciiOnly", kHtml, chapter("<meta charset=utf-8>", "plain ? text")},
    AgreementCase{"GbkDeclared", kHtml, chapter("<meta charset=gbk>", kGbk + kGbkTraditional)},
    AgreementCase{"GbkUndeclared", kHtml, chapter("", kGbk + "\xA1\xA1" + kGbk)},
    AgreementCase{"GzipUtf8", "Content-Encoding: gzip\r\n", gzipBytes(chapter("<meta charset=utf-8>", kUtf8))},
    AgreementCase{"ZeroByte", kHtml, std::string("<meta charset=utf-8>\xE4\xB8\xAD\0rest", 26)}
), [](const testing::TestParamInfo<AgreementCase>& caseInfo) { return caseInfo.param.name; });
// clang-format on

TEST(PageEncodingNameTest, ReadsTheRuleSetting)
{
    EXPECT_EQ(pageEncodingFromName(""), PageEncoding::automatic);
    EXPECT_EQ(pageEncodingFromName("Auto"), PageEncoding::automatic);
    EXPECT_EQ(pageEncodingFromName("gb18030"), PageEncoding::gbk);
    EXPECT_EQ(pageEncodingFromName(" UTF-8 "), PageEncoding::utf8);
    EXPECT_EQ(pageEncodingFromName("BIG5"), PageEncoding::big5);
    EXPECT_EQ(pageEncodingFromName("latin1"), std::nullopt);
    for (const PageEncoding setting :
         {PageEncoding::automatic, PageEncoding::gbk, PageEncoding::utf8, PageEncoding::big5}) {
        EXPECT_EQ(pageEncodingFromName(pageEncodingName(setting)), setting);
    }
}

}  // namespace
