// Response decoding of a large gzip-compressed UTF-8 page, by the page's
// "charset=utf-8" text and by what its bytes are.
#include "BenchClock.h"
#include "support/Gzip.h"

#include "core/Encoding.h"
#include "web/PageDecoding.h"
#include "web/PageEncoding.h"

#include <cstdio>
#include <random>
#include <string>

using velmora::test::gzipBytes;

using namespace velmora;

namespace {

// Paragraphs of random common characters: about as compressible as a real chapter.
std::string utf8Page(std::size_t size)
{
    std::mt19937 random(42);
    std::string paragraph;
    std::string page = "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />"
                       "</head><body><div id=\"content\">\r\n";
    while (page.size() < size) {
        paragraph = "<p>\xA1\xA1\xA1\xA1";
        for (int i = 0; i < 60; ++i) {
            paragraph += static_cast<char>(0xB0 + random() % 0x28);
            paragraph += static_cast<char>(0xA1 + random() % 0x5E);
        }
        page += encoding::gbkToUtf8(paragraph + "\xA1\xA3</p>\r\n");
    }
    return page + "</div></body></html>";
}

}  // namespace

int main()
{
    const std::string page = utf8Page(1500000);
    const std::string body = gzipBytes(page);
    const std::string headers = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: gzip\r\n\r\n";
    std::size_t size = 0;
    const auto [best, median] =
        bench::timeRounds(15, [&] { size = ConvertIfUtf8(DecodePageBody(body, headers)).size(); });
    std::printf("decoding: %.2f MB UTF-8 page, %.2f MB gzip, %.2f MB GBK text\n", page.size() / 1e6, body.size() / 1e6,
                size / 1e6);
    std::printf("  DecodePageBody + ConvertIfUtf8: best %.1f ms, median %.1f ms\n", best, median);
    // The decoder that reads the encoding from the bytes: one more pass over
    // the page to see that it is valid UTF-8.
    const auto [pageBest, pageMedian] = bench::timeRounds(15, [&] { size = decodePage(body, headers).text.size(); });
    std::printf("  decodePage (encoding by the bytes): best %.1f ms, median %.1f ms\n", pageBest, pageMedian);
    const std::string gbkBody = gzipBytes(encoding::toGbk(page));
    const auto [gbkBest, gbkMedian] = bench::timeRounds(15, [&] { size = decodePage(gbkBody, headers).text.size(); });
    std::printf("  decodePage of the same page in GBK: best %.1f ms, median %.1f ms\n", gbkBest, gbkMedian);
    const auto [inflateBest, inflateMedian] = bench::timeRounds(15, [&] { size = DecompressGzip(body).size(); });
    std::printf("  of which DecompressGzip: best %.1f ms, median %.1f ms\n", inflateBest, inflateMedian);

    // Every character of a Korean page is one GBK cannot hold.
    std::string hangul = "<meta charset=\"utf-8\">";
    while (hangul.size() < 1500000) {
        hangul += "\xEA\xB0\x80\xEB\x82\x98 ";
    }
    const auto [hangulBest, hangulMedian] = bench::timeRounds(5, [&] { size = ConvertIfUtf8(hangul).size(); });
    std::printf("  ConvertIfUtf8 of a %.2f MB page GBK cannot hold: best %.1f ms, median %.1f ms\n",
                hangul.size() / 1e6, hangulBest, hangulMedian);
    return size > 0 ? 0 : 1;
}
