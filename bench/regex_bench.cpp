// Chapter-list extraction over a long list page: the first default rule's
// pattern over 10,000 entries, every group read back.
#include "BenchClock.h"

#include "core/Encoding.h"
#include "core/RegexObject.h"

#include <cstdio>
#include <string>

using namespace velmora;

namespace {

const char* const kPattern = R"re(<li class="chapter"><a href="(.*?)" title=".*?">(.*?)</a></li>)re";

std::string listPage(int entries)
{
    const char* const words[] = {"山门", "夜雨", "归途", "剑鸣", "故人", "风起", "长河", "旧梦", "星落", "孤城"};
    std::string page = "<!DOCTYPE html>\r\n<html><head><meta charset=\"gbk\" />\r\n"
                       "<meta property=\"og:novel:book_name\" content=\"山海旧梦\"/>\r\n"
                       "<meta property=\"og:novel:author\" content=\"林一舟\"/>\r\n</head>\r\n<body>\r\n"
                       "<div class=\"listmain\"><ul class=\"chapter-list\">\r\n";
    for (int i = 1; i <= entries; ++i) {
        const std::string n = std::to_string(i);
        const std::string title =
            "第" + n + "章 " + words[i % 10] + words[(i / 10) % 10] + "之" + words[(i / 100) % 10];
        if (i % 50 == 1) {
            page += "<div class=\"volume\"><span class=\"volume-name\">第" + std::to_string(i / 50 + 1)
                    + "卷</span><span class=\"count\">共50章</span></div>\r\n";
        }
        page += "    <li class=\"chapter\"><a href=\"/book/38271/" + std::to_string(9000000 + i) + ".html\" title=\""
                + title + " 更新时间:2021-03-0" + std::to_string(i % 9 + 1) + " 字数:3" + n + "\">" + title
                + "</a></li>\r\n";
    }
    page += "</ul></div>\r\n<div class=\"footer\">本站所有小说均来自网友上传</div>\r\n</body></html>";
    return encoding::toGbk(page);
}

}  // namespace

int main()
{
    const std::string page = listPage(10000);
    const std::string pattern = encoding::toGbk(kPattern);
    std::size_t bytesRead = 0;
    int matches = 0;

    const auto [best, median] = bench::timeRounds(15, [&] {
        RegexObject regex;
        regex.run(pattern, page);
        matches = regex.matchCount();
        bytesRead = 0;
        for (int m = 1; m <= matches; ++m) {
            bytesRead += regex.groupText(m, 1).size() + regex.groupText(m, 2).size();
        }
    });
    std::printf("chapter list: %.2f MB GBK page, %d matches, %zu group bytes\n", page.size() / 1e6, matches, bytesRead);
    std::printf("  run + every groupText: best %.1f ms, median %.1f ms (target < 50 ms)\n", best, median);

    const auto [convertBest, convertMedian] =
        bench::timeRounds(15, [&] { bytesRead = encoding::gbkToUtf8(page).size(); });
    std::printf("  of which GBK to UTF-8 of the page: best %.1f ms, median %.1f ms\n", convertBest, convertMedian);

    // What converting each group back would cost instead of cutting it from the GBK page.
    RegexObject regex;
    regex.run(pattern, page);
    std::vector<std::string> groups;
    for (int m = 1; m <= regex.matchCount(); ++m) {
        groups.push_back(encoding::gbkToUtf8(regex.groupText(m, 1)));
        groups.push_back(encoding::gbkToUtf8(regex.groupText(m, 2)));
    }
    const auto [backBest, backMedian] = bench::timeRounds(15, [&] {
        for (const std::string& g : groups) {
            bytesRead += encoding::toGbk(g).size();
        }
    });
    std::printf("  converting %zu groups back one by one would add: best %.1f ms, median %.1f ms\n", groups.size(),
                backBest, backMedian);
    return matches == 10000 ? 0 : 1;
}
