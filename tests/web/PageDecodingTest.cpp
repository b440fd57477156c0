#include "web/PageDecoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>

using namespace velmora;

namespace {

std::string gzip(std::string_view data)
{
    z_stream zs{};
    if (deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return {};
    }
    std::string out(deflateBound(&zs, static_cast<uLong>(data.size())) + 64, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    zs.avail_in = static_cast<uInt>(data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return status == Z_STREAM_END ? out : std::string();
}

// Text that compresses only moderately, so its stream spans many 8192-byte chunks.
std::string sampleText(std::size_t size, unsigned seed = 7)
{
    std::mt19937 random(seed);
    std::string text;
    text.reserve(size);
    while (text.size() < size) {
        text += "<p>line " + std::to_string(random() % 100000) + " \xD5\xC2\xBD\xDA</p>\r\n";
    }
    text.resize(size);
    return text;
}

const std::string kUtf8Chinese = "\xE4\xB8\xAD\xE6\x96\x87";   // 中文
const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";

struct DecodeCase {
    std::string name;
    std::string headers;
    std::string body;
    std::string expected;   // after DecodePageBody and ConvertIfUtf8
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.name; }

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, TurnsResponseIntoGbkText)
{
    const DecodeCase& c = GetParam();
    EXPECT_EQ(ConvertIfUtf8(DecodePageBody(c.body, c.headers)), c.expected);
}

const std::string kPlainHeaders = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
const std::string kUtf8Page = "<meta CHARSET=UTF-8>" + kUtf8Chinese;
const std::string kGbkPage = "<meta charset=gbk>" + kGbkChinese;

INSTANTIATE_TEST_SUITE_P(Responses, DecodeTest, testing::Values(
    DecodeCase{"Utf8MarkerInCapitals", kPlainHeaders, kUtf8Page, "<meta CHARSET=UTF-8>" + kGbkChinese},
    DecodeCase{"QuotedUtf8Marker", kPlainHeaders, "<meta charset=\"utf-8\">" + kUtf8Chinese,
               "<meta charset=\"utf-8\">" + kGbkChinese},
    DecodeCase{"GbkPageUntouched", kPlainHeaders, kGbkPage, kGbkPage},
    DecodeCase{"SingleQuotedMarkerUntouched", kPlainHeaders, "charset='utf-8'" + kUtf8Chinese,
               "charset='utf-8'" + kUtf8Chinese},
    DecodeCase{"CharsetInHeaderOnlyUntouched",
               "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n", kUtf8Chinese, kUtf8Chinese},
    DecodeCase{"GzipMarkerAnyCase", "HTTP/1.1 200 OK\r\ncontent-encoding: GZIP\r\n\r\n", gzip(kUtf8Page),
               "<meta CHARSET=UTF-8>" + kGbkChinese},
    DecodeCase{"GzipMarkerWithoutSpaceNotDecompressed", "HTTP/1.1 200 OK\r\nContent-Encoding:gzip\r\n\r\n",
               gzip(kGbkPage), "\x1F\x8B\x08"},   // the gzip header's flags byte is zero
    DecodeCase{"ZeroByteCutsText", kPlainHeaders, std::string("abc\0def", 7), "abc"},
    DecodeCase{"ZeroByteCutsDecompressedText", "Content-Encoding: gzip\r\n", gzip(std::string("abc\0def", 7)),
               "abc"}
), [](const testing::TestParamInfo<DecodeCase>& info) { return info.param.name; });

TEST(Utf8ToGbkTest, ConvertsUpToFirstZeroByte)
{
    EXPECT_EQ(Utf8ToGbk(kUtf8Chinese), kGbkChinese);
    EXPECT_EQ(Utf8ToGbk("plain <ascii> text"), "plain <ascii> text");
    EXPECT_EQ(Utf8ToGbk(kUtf8Chinese + std::string("\0tail", 5)), kGbkChinese);
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80\xFF" "b"), "a??b");
}

TEST(DecompressGzipTest, LargeBodyDecompressesWhole)
{
    const std::string text = sampleText(6 * 1024 * 1024);
    const std::string compressed = gzip(text);
    ASSERT_GT(compressed.size(), 8u * 8192u);
    EXPECT_TRUE(DecompressGzip(compressed) == text);
}

TEST(DecompressGzipTest, ConcatenatedMembersAreJoined)
{
    EXPECT_EQ(DecompressGzip(gzip("first,") + gzip("second")), "first,second");
    EXPECT_EQ(DecompressGzip(gzip("only") + "trailing junk"), "only");
}

TEST(DecompressGzipTest, TruncatedBodyGivesPrefix)
{
    const std::string text = sampleText(300000);
    const std::string compressed = gzip(text);
    const std::string half = DecompressGzip(std::string_view(compressed).substr(0, compressed.size() / 2));
    EXPECT_GT(half.size(), 0u);
    EXPECT_LT(half.size(), text.size());
    EXPECT_TRUE(text.compare(0, half.size(), half) == 0);
    // Only the size field of the trailer is missing: every byte was already produced.
    EXPECT_TRUE(DecompressGzip(std::string_view(compressed).substr(0, compressed.size() - 1)) == text);
    EXPECT_EQ(DecompressGzip(std::string_view(compressed).substr(0, 5)), "");
}

TEST(DecompressGzipTest, CorruptBodyEndsWithoutFault)
{
    const std::string text = sampleText(100000);
    std::string compressed = gzip(text);
    for (std::size_t i = compressed.size() / 3; i < compressed.size() / 3 + 64; ++i) {
        compressed[i] = static_cast<char>(~compressed[i]);
    }
    EXPECT_NE(DecompressGzip(compressed), text);
    EXPECT_EQ(DecompressGzip("not gzip at all"), "");
    EXPECT_EQ(DecompressGzip(""), "");

    std::string badChecksum = gzip("payload");
    badChecksum[badChecksum.size() - 8] ^= 0x55;
    EXPECT_EQ(DecompressGzip(badChecksum), "payload");   // the output came before the check
}

TEST(DecodeTest, DecodesOnSeveralThreadsAtOnce)
{
    const std::string page = kUtf8Page + sampleText(200000);
    const std::string body = gzip(page);
    const std::string expected = ConvertIfUtf8(DecodePageBody(body, "Content-Encoding: gzip"));
    ASSERT_GT(expected.size(), 190000u);
    std::vector<int> good(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < good.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                good[t] += ConvertIfUtf8(DecodePageBody(body, "Content-Encoding: gzip")) == expected ? 1 : 0;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(good, std::vector<int>(4, 10));
}

} // namespace
