#include "web/PageDecoding.h"
#include "support/Gzip.h"
#include "web/HttpRequest.h"

#include <sys/resource.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

using velmora::test::gzipBytes;

using namespace velmora;

namespace {

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

const std::string kUtf8Chinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::string kGbkChinese = "\xD6\xD0\xCE\xC4";

struct DecodeCase {
    std::string name;
    std::string headers;
    std::string body;
    std::string expected;  // after DecodePageBody and ConvertIfUtf8
};

void PrintTo(const DecodeCase& c, std::ostream* os)
{
    *os << c.name;
}

class DecodeTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, TurnsResponseIntoGbkText)
{
    const DecodeCase& c = GetParam();
    EXPECT_EQ(ConvertIfUtf8(DecodePageBody(c.body, c.headers)), c.expected);
}

const std::string kPlainHeaders = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n";
const std::string kUtf8Page = "<meta CHARSET=UTF-8>" + kUtf8Chinese;
const std::string kGbkPage = "<meta charset=gbk>" + kGbkChinese;

// clang-format off
INSTANTIATE_TEST_SUITE_P(Responses, DecodeTest, testing::Values(
    DecodeCase{"Utf8MarkerInCapitals", kPlainHeaders, kUtf8Page, "<meta CHARSET=UTF-8>" + kGbkChinese},
    DecodeCase{"QuotedUtf8Marker", kPlainHeaders, "<meta charset=\"utf-8\">" + kUtf8Chinese,
               "<meta charset=\"utf-8\">" + kGbkChinese},
    DecodeCase{"GbkPageUntouched", kPlainHeaders, kGbkPage, kGbkPage},
    DecodeCase{"SingleQuotedMarkerUntouched", kPlainHeaders, "charset='utf-8'" + kUtf8Chinese,
               "charset='utf-8'" + kUtf8Chinese},
    DecodeCase{"CharsetInHeaderOnlyUntouched",
               "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n", kUtf8Chinese, kUtf8Chinese},
    DecodeCase{"GzipMarkerAnyCase", "HTTP/1.1 200 OK\r\ncontent-encoding: GZIP\r\n\r\n", gzipBytes(kUtf8Page),
               "<meta CHARSET=UTF-8>" + kGbkChinese},
    DecodeCase{"GzipMarkerWithoutSpaceNotDecompressed", "HTTP/1.1 200 OK\r\nContent-Encoding:gzip\r\n\r\n",
               gzipBytes(kGbkPage), "\x1F\x8B\x08"},   // the gzip header's flags byte is zero
    DecodeCase{"ZeroByteCutsText", kPlainHeaders, std::string("abc\0def", 7), "abc"},
    DecodeCase{"ZeroByteCutsDecompressedText", "Content-Encoding: gzip\r\n", gzipBytes(std::string("abc\0def", 7)),
               "abc"}
), [](const testing::TestParamInfo<DecodeCase>& caseInfo) { return caseInfo.param.name; });
// clang-format on

TEST(Utf8ToGbkTest, ConvertsUpToFirstZeroByte)
{
    EXPECT_EQ(Utf8ToGbk(kUtf8Chinese), kGbkChinese);
    EXPECT_EQ(Utf8ToGbk("plain <ascii> text"), "plain <ascii> text");
    EXPECT_EQ(Utf8ToGbk(kUtf8Chinese + std::string("\0tail", 5)), kGbkChinese);
    // clang-format off
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80\xFF" "b"), "a??b");
    // clang-format on
}

TEST(DecompressGzipTest, LargeBodyDecompressesWhole)
{
    const std::string text = sampleText(6 * 1024 * 1024);
    const std::string compressed = gzipBytes(text);
    ASSERT_GT(compressed.size(), 8u * 8192u);
    EXPECT_TRUE(DecompressGzip(compressed) == text);
}

TEST(DecompressGzipTest, ConcatenatedMembersAreJoined)
{
    EXPECT_EQ(DecompressGzip(gzipBytes("first,") + gzipBytes("second")), "first,second");
    EXPECT_EQ(DecompressGzip(gzipBytes("only") + "trailing junk"), "only");
}

TEST(DecompressGzipTest, TruncatedBodyGivesPrefix)
{
    const std::string text = sampleText(300000);
    const std::string compressed = gzipBytes(text);
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
    std::string compressed = gzipBytes(text);
    for (std::size_t i = compressed.size() / 3; i < compressed.size() / 3 + 64; ++i) {
        compressed[i] = static_cast<char>(~compressed[i]);
    }
    EXPECT_NE(DecompressGzip(compressed), text);
    EXPECT_EQ(DecompressGzip("not gzip at all"), "");
    EXPECT_EQ(DecompressGzip(""), "");

    std::string badChecksum = gzipBytes("payload");
    badChecksum[badChecksum.size() - 8] ^= 0x55;
    EXPECT_EQ(DecompressGzip(badChecksum), "payload");  // the output came before the check
}

// 1 GiB of page in 128 gzip members of 8 MiB each, a few megabytes on the
// wire: it used to be inflated whole.
std::string gzipBomb()
{
    const std::string member = gzipBytes(std::string(std::size_t{8} << 20, 'a'));
    std::string bomb;
    for (int i = 0; i < 128; ++i) {
        bomb += member;
    }
    return bomb;
}

long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

TEST(DecompressGzipTest, BombStopsAtTheCapWithItsReason)
{
    const std::string bomb = gzipBomb();
    ASSERT_LT(bomb.size(), std::size_t{16} << 20);
    for (const std::size_t cap : {HttpLimits{}.maxBodyBytes, std::size_t{1} << 20}) {
        HttpLimits limits;
        limits.maxBodyBytes = cap;
        setHttpLimits(limits);
        bool tooLarge = false;
        EXPECT_EQ(DecompressGzip(bomb, &tooLarge), "");
        EXPECT_TRUE(tooLarge);
        tooLarge = false;
        EXPECT_EQ(DecodePageBody(bomb, "Content-Encoding: gzip", &tooLarge), "");
        EXPECT_TRUE(tooLarge);
        // Exactly at the cap is still a page.
        EXPECT_EQ(DecompressGzip(gzipBytes(std::string(cap, 'b')), &tooLarge).size(), cap);
        EXPECT_FALSE(tooLarge);
    }
    setHttpLimits(HttpLimits{});
    EXPECT_LT(peakMegabytes(), 700);  // 64 MiB of page at most, never the gigabyte
    bool tooLarge = true;
    EXPECT_EQ(DecodePageBody("plain", "Content-Type: text/html", &tooLarge), "plain");
    EXPECT_FALSE(tooLarge);
}

TEST(DecodeTest, DecodesOnSeveralThreadsAtOnce)
{
    const std::string page = kUtf8Page + sampleText(200000);
    const std::string body = gzipBytes(page);
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

}  // namespace
