#include "job/RuleTest.h"

#include "core/Encoding.h"
#include "core/QuotePlaceholder.h"
#include "core/RegexObject.h"
#include "core/Text.h"
#include "job/ChapterFetch.h"
#include "job/ChapterFiles.h"
#include "job/ChapterLinks.h"
#include "job/ChapterList.h"
#include "job/ChapterText.h"
#include "web/HttpRequest.h"
#include "web/PageDecoding.h"
#include "web/PageEncoding.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace velmora {
namespace {

bool cancelled(const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// Runs `pattern` as retrieval does (every option at its default) and notes
// what became of it; group 1 of the first match is returned raw.
std::string checkPattern(RegexObject& regex, std::string_view pattern, std::string_view page, PatternCheck& check)
{
    const bool ran = regex.run(pattern, page);
    if (!ran) {
        check.compiles = regex.errorOffset() < 0;
        check.error = regex.errorMessage();
        check.errorOffset = regex.errorOffset();
        return {};
    }
    check.matched = regex.matchCount() > 0;
    const int group = regex.groupCount() >= 1 ? 1 : 0;
    if (check.matched) {
        regex.groupRange(1, group, check.begin, check.end);
    }
    return regex.groupText(1, 1);
}

int characterCount(std::string_view gbk)
{
    int count = 0;
    for (std::size_t i = 0; i < gbk.size(); i += text::charLength(gbk, i)) {
        ++count;
    }
    return count;
}

MarkerCheck findMarker(std::string_view page, std::string_view marker, int start)
{
    MarkerCheck check;
    const std::string resolved = resolveQuotePlaceholder(marker);
    if (resolved.empty()) {
        return check;
    }
    const int at = text::find(page, resolved, start);
    if (at != -1) {
        check.found = true;
        check.begin = static_cast<std::size_t>(at) - 1;
        check.end = check.begin + resolved.size();
    }
    return check;
}

// Tags, comments and entities still standing in saved text, each kind once.
std::vector<std::pair<std::string, int>> findLeftovers(std::string_view saved)
{
    RegexObject regex;
    regex.run("</?[A-Za-z][A-Za-z0-9]*|<!--|&#?[A-Za-z0-9]{1,10};", saved);
    std::map<std::string, int> counts;
    std::vector<std::string> order;
    for (int m = 1; m <= regex.matchCount(); ++m) {
        const std::string token = text::toLowerAscii(regex.matchText(m));
        if (counts[token]++ == 0) {
            order.push_back(token);
        }
    }
    std::vector<std::pair<std::string, int>> leftovers;
    for (const std::string& token : order) {
        leftovers.emplace_back(token, counts[token]);
    }
    return leftovers;
}

std::string utf8(std::string_view gbk)
{
    return encoding::gbkToUtf8(gbk);
}

std::string number(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

}  // namespace

TestedPage fetchTestedPage(std::string_view address, const std::atomic<bool>* cancel, const RuleOptions& options)
{
    TestedPage page;
    page.address = std::string(address);
    if (cancelled(cancel)) {
        page.failure = kCancelled;
        return page;
    }
    std::string responseHeaders;
    HttpOutcome outcome;
    const std::string body = HttpRequest(address, 0, {}, nullptr, nullptr, nullptr, &responseHeaders, false, nullptr,
                                         {}, HttpCallOptions{cancel, &outcome});
    page.fetched = outcome.status != 0;
    page.status = outcome.status;
    page.bytes = outcome.bodyBytes;
    page.seconds = outcome.seconds;
    page.finalAddress = outcome.finalUrl;
    // The text is what retrieval and download read: decoded by what the
    // bytes are, or by the rule's encoding.
    if (!body.empty()) {
        DecodedPage decoded = decodePage(body, responseHeaders, options.pageEncoding);
        page.text = std::move(decoded.text);
        page.gzip = decoded.gzip;
        page.encoding = decoded.encoding;
        page.why = decoded.why;
    }
    if (cancelled(cancel)) {
        page.text.clear();
        page.failure = kCancelled;
    } else if (outcome.failure != HttpFailure::none || outcome.status < 200 || outcome.status > 299) {
        page.failure = describeHttpOutcome(outcome);
    } else if (page.text.empty()) {
        page.failure = "页面为空";
    }
    return page;
}

TestedPage capturedTestedPage(std::string_view address, std::string text)
{
    TestedPage page;
    page.address = std::string(address);
    page.text = std::move(text);
    page.fetched = !page.text.empty();
    page.captured = true;
    page.bytes = page.text.size();
    page.encoding = "GBK";
    page.why = "浏览器抓取的页面文字";
    if (page.text.empty()) {
        page.failure = "浏览器未取得页面文字";
    }
    return page;
}

void checkListPage(RuleTestReport& report, const RuleUnderTest& rule)
{
    const std::string& page = report.listPage.text;
    RegexObject regex;
    report.novelName.text = text::trimSpaces(checkPattern(regex, rule.patterns.novelName, page, report.novelName));
    report.author.text = text::removeSpaces(checkPattern(regex, rule.patterns.author, page, report.author));

    ListCheck& list = report.list;
    checkPattern(regex, rule.patterns.chapterList, page, list.pattern);
    list.matches = regex.matchCount();
    list.groupsPerMatch = regex.groupCount();
    for (int m = 1; m <= list.matches; ++m) {
        std::size_t begin = 0;
        std::size_t end = 0;
        if (regex.groupRange(m, 0, begin, end)) {
            list.matchRanges.emplace_back(begin, end);
        }
    }
    // The rows exactly as retrieval makes them, from this page alone.
    ChapterListPage parsed =
        parseChapterList(page, rule.patterns.novelName, rule.patterns.author, rule.patterns.chapterList);
    const TestedPage& listPage = report.listPage;
    std::vector<ListPageLinks> pages;
    pages.push_back(
        {listPage.finalAddress.empty() ? listPage.address : listPage.finalAddress, std::move(parsed.chapters)});
    ListRows made =
        rowsFromListPages(std::move(pages), RelativeBaseAddress(listPage.address, parsed.firstAddress), rule.options);
    list.baseAddress = std::move(made.baseAddress);
    list.rows = static_cast<int>(made.rows.size());
    list.repeatedAddresses = static_cast<int>(made.repeated);
    list.droppedRows = static_cast<int>(made.dropped);
    list.resolved = made.resolved;
    list.note = std::move(made.note);
    if (!rule.options.nextListPagePattern.empty()) {
        list.note = "只检查了目录第1页" + std::string(list.note.empty() ? "" : "；") + list.note;
    }
    for (std::size_t i = 0; i < made.rows.size(); ++i) {
        ChapterLink& link = made.rows[i];
        std::string fullAddress = list.baseAddress + link.address;
        list.rowViews.push_back(
            {static_cast<int>(i) + 1, std::move(link.title), std::move(link.address), std::move(fullAddress)});
    }
}

void checkChapterPage(RuleTestReport& report, const RuleUnderTest& rule, const ListRowView& row, TestedPage page)
{
    ChapterCheck& chapter = report.chapter;
    chapter = ChapterCheck{};
    chapter.tested = true;
    chapter.row = row.number;
    chapter.chapter = row;
    chapter.page = std::move(page);
    const std::string& text = chapter.page.text;
    chapter.left = findMarker(text, rule.markers.left, 1);
    if (chapter.left.found) {
        chapter.right = findMarker(text, rule.markers.right, static_cast<int>(chapter.left.end) + 1);
    }
    if (!text.empty()) {
        chapter.savedText = chapterTextFromCuts(
            chapter.chapter.title, TextBetween(text, rule.markers.left, rule.markers.right), rule.options.removeTexts);
        chapter.savedLength = chapter.savedText.size();
        chapter.savedCharacters = characterCount(chapter.savedText);
        chapter.leftovers = findLeftovers(chapter.savedText);
    }
}

RuleTestReport testRule(std::string_view listAddress, const RuleUnderTest& rule, int row,
                        const std::atomic<bool>* cancel, const ChapterPageSource& chapterSource)
{
    RuleTestReport report;
    report.listPage = fetchTestedPage(listAddress, cancel, rule.options);
    if (cancelled(cancel)) {
        report.cancelled = true;
        return report;
    }
    checkListPage(report, rule);
    if (report.list.rows == 0) {
        return report;
    }
    if (row < 1 || row > report.list.rows) {
        row = 1;
    }
    const ListRowView chosen = report.list.rowViews[static_cast<std::size_t>(row) - 1];
    TestedPage page =
        chapterSource ? chapterSource(chosen.fullAddress) : fetchTestedPage(chosen.fullAddress, cancel, rule.options);
    if (cancelled(cancel)) {
        report.cancelled = true;
        return report;
    }
    checkChapterPage(report, rule, chosen, std::move(page));
    return report;
}

bool RuleTestReport::passed() const
{
    return problems().empty();
}

std::vector<std::string> RuleTestReport::problems() const
{
    std::vector<std::string> found;
    if (cancelled) {
        found.push_back("测试已取消");
        return found;
    }
    if (!listPage.failure.empty()) {
        found.push_back("列表页: " + listPage.failure);
    }
    const auto patternProblem = [&](const PatternCheck& check, std::string_view what) {
        if (!check.compiles) {
            found.push_back(std::string(what) + "无法编译: " + check.error + "（第 " + std::to_string(check.errorOffset)
                            + " 个字符处）");
        } else if (!check.error.empty()) {
            found.push_back(std::string(what) + "匹配失败: " + check.error);
        }
    };
    patternProblem(novelName, "小说名正则");
    patternProblem(author, "作者正则");
    patternProblem(list.pattern, "章节列表正则");
    if (novelName.compiles && novelName.text.empty()) {
        found.push_back("小说名正则: 无匹配");
    }
    if (list.pattern.compiles && list.rows == 0) {
        found.push_back(list.matches > 0 ? "章节列表正则: 有匹配但没有成对的网址和标题分组" : "章节列表正则: 无匹配");
    }
    if (chapter.tested) {
        if (!chapter.page.failure.empty()) {
            found.push_back("章节页: " + chapter.page.failure);
        }
        if (!chapter.left.found) {
            found.push_back("章节内容左标记: 页面中没有");
        } else if (!chapter.right.found) {
            found.push_back("章节内容右标记: 左标记之后没有");
        }
        const std::string_view saved = chapter.savedText;
        const std::size_t titleLine = chapter.chapter.title.size() + 2;
        if (saved.size() <= titleLine) {
            found.push_back("章节正文为空");
        }
    }
    return found;
}

namespace {

std::string jsonUtf8(std::string_view text)
{
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
                out += buffer;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

}  // namespace

std::string gbkJsonString(std::string_view gbk)
{
    return jsonUtf8(utf8(gbk));
}

namespace {

std::string jsonBool(bool value)
{
    return value ? "true" : "false";
}

std::string pageJson(const TestedPage& page)
{
    return "{\"address\":" + gbkJsonString(page.address) + ",\"status\":" + std::to_string(page.status)
           + ",\"bytes\":" + std::to_string(page.bytes) + ",\"gzip\":" + jsonBool(page.gzip)
           + ",\"captured\":" + jsonBool(page.captured) + ",\"encoding\":" + jsonUtf8(page.encoding)
           + ",\"why\":" + jsonUtf8(page.why) + ",\"seconds\":" + number(page.seconds, 3)
           + ",\"textBytes\":" + std::to_string(page.text.size()) + ",\"failure\":" + jsonUtf8(page.failure) + "}";
}

std::string patternJson(const PatternCheck& check)
{
    return "{\"compiles\":" + jsonBool(check.compiles) + ",\"error\":" + jsonUtf8(check.error)
           + ",\"errorOffset\":" + std::to_string(check.errorOffset) + ",\"matched\":" + jsonBool(check.matched)
           + ",\"text\":" + gbkJsonString(check.text) + "}";
}

std::string rowsJson(const std::vector<ListRowView>& rows)
{
    std::string out = "[";
    for (const ListRowView& row : rows) {
        out += (out.size() > 1 ? "," : "");
        out += "{\"number\":" + std::to_string(row.number) + ",\"title\":" + gbkJsonString(row.title)
               + ",\"address\":" + gbkJsonString(row.fullAddress) + "}";
    }
    return out + "]";
}

std::string pageLine(const TestedPage& page)
{
    if (page.captured) {
        return "浏览器抓取，" + std::to_string(page.bytes) + " 字节，" + number(page.seconds, 2) + " 秒";
    }
    std::string line = "HTTP " + std::to_string(page.status) + "，" + std::to_string(page.bytes) + " 字节"
                       + (page.gzip ? "（gzip）" : "") + "，" + number(page.seconds, 2) + " 秒";
    if (!page.encoding.empty()) {
        line += "，编码 " + page.encoding + "（" + page.why + "）";
    }
    return line;
}

std::string patternLine(const PatternCheck& check)
{
    if (!check.compiles) {
        return "无法编译: " + check.error + "（第 " + std::to_string(check.errorOffset) + " 个字符处）";
    }
    if (!check.error.empty()) {
        return "匹配失败: " + check.error;
    }
    return check.matched ? "\"" + utf8(check.text) + "\"" : std::string("无匹配");
}

std::vector<ListRowView> firstRows(const ListCheck& list)
{
    const std::size_t count = std::min<std::size_t>(kShownRows, list.rowViews.size());
    return {list.rowViews.begin(), list.rowViews.begin() + static_cast<std::ptrdiff_t>(count)};
}

// The bottom rows not already among the first ones.
std::vector<ListRowView> lastRows(const ListCheck& list)
{
    const std::size_t size = list.rowViews.size();
    const std::size_t shown = std::min<std::size_t>(kShownRows, size);
    const std::size_t from = std::max(shown, size - shown);
    return {list.rowViews.begin() + static_cast<std::ptrdiff_t>(from), list.rowViews.end()};
}

void appendRows(std::string& out, const std::vector<ListRowView>& rows)
{
    for (const ListRowView& row : rows) {
        out += "    " + std::to_string(row.number) + "  " + utf8(row.title) + "  " + utf8(row.fullAddress) + "\n";
    }
}

}  // namespace

std::string reportText(const RuleTestReport& report)
{
    std::string out;
    out += "1. 列表页: " + utf8(report.listPage.address) + "\n   " + pageLine(report.listPage) + "\n";
    if (!report.listPage.failure.empty()) {
        out += "   失败: " + report.listPage.failure + "\n";
    }
    out += "2. 小说名: " + patternLine(report.novelName) + "\n   作者: " + patternLine(report.author) + "\n";
    const ListCheck& list = report.list;
    out += "3. 章节列表: ";
    if (!list.pattern.compiles || !list.pattern.error.empty()) {
        out += patternLine(list.pattern) + "\n";
    } else {
        out += std::to_string(list.matches) + " 个匹配，每个 " + std::to_string(list.groupsPerMatch) + " 个分组，"
               + std::to_string(list.rows) + " 行，重复网址 " + std::to_string(list.repeatedAddresses) + " 个"
               + (list.droppedRows > 0 ? "（下载时去掉 " + std::to_string(list.droppedRows) + " 个）" : "") + "\n";
        if (!list.note.empty()) {
            out += "   " + list.note + "\n";
        }
        appendRows(out, firstRows(list));
        if (list.rows > kShownRows) {
            out += list.rows > 2 * kShownRows ? "    ...\n" : "";
            appendRows(out, lastRows(list));
        }
    }
    const ChapterCheck& chapter = report.chapter;
    if (chapter.tested) {
        out += "4. 第 " + std::to_string(chapter.row) + " 章: " + utf8(chapter.chapter.fullAddress) + "\n   "
               + pageLine(chapter.page) + "\n";
        if (!chapter.page.failure.empty()) {
            out += "   失败: " + chapter.page.failure + "\n";
        }
        out += std::string("   左标记: ") + (chapter.left.found ? "找到" : "未找到")
               + "，右标记: " + (chapter.right.found ? "找到" : "未找到") + "\n";
        out += "   保存的文字（" + std::to_string(chapter.savedCharacters) + " 字，"
               + std::to_string(chapter.savedLength) + " 字节）:\n" + utf8(chapter.savedText) + "\n";
        if (!chapter.leftovers.empty()) {
            out += "   清理后仍有标记或实体:";
            for (const auto& [token, count] : chapter.leftovers) {
                out += " " + utf8(token) + "×" + std::to_string(count);
            }
            out += "\n";
        }
    } else {
        out += "4. 章节页: 没有可测试的章节\n";
    }
    const std::vector<std::string> problems = report.problems();
    out += problems.empty() ? "结果: 通过\n" : "结果: 失败\n";
    for (const std::string& problem : problems) {
        out += "  - " + problem + "\n";
    }
    return out;
}

std::string reportJson(const RuleTestReport& report)
{
    const ListCheck& list = report.list;
    const ChapterCheck& chapter = report.chapter;
    std::string out =
        "{\"listPage\":" + pageJson(report.listPage) + ",\"novelName\":" + patternJson(report.novelName)
        + ",\"author\":" + patternJson(report.author) + ",\"list\":{\"pattern\":" + patternJson(list.pattern)
        + ",\"matches\":" + std::to_string(list.matches) + ",\"groupsPerMatch\":" + std::to_string(list.groupsPerMatch)
        + ",\"rows\":" + std::to_string(list.rows) + ",\"baseAddress\":" + gbkJsonString(list.baseAddress)
        + ",\"repeatedAddresses\":" + std::to_string(list.repeatedAddresses)
        + ",\"droppedRows\":" + std::to_string(list.droppedRows) + ",\"resolved\":" + jsonBool(list.resolved)
        + ",\"note\":" + jsonUtf8(list.note) + ",\"firstRows\":" + rowsJson(firstRows(list))
        + ",\"lastRows\":" + rowsJson(lastRows(list)) + "}";
    if (chapter.tested) {
        std::string leftovers = "[";
        for (const auto& [token, count] : chapter.leftovers) {
            leftovers += (leftovers.size() > 1 ? "," : "");
            leftovers += "{\"text\":" + gbkJsonString(token) + ",\"count\":" + std::to_string(count) + "}";
        }
        out += ",\"chapter\":{\"row\":" + std::to_string(chapter.row)
               + ",\"title\":" + gbkJsonString(chapter.chapter.title) + ",\"page\":" + pageJson(chapter.page)
               + ",\"leftMarkerFound\":" + jsonBool(chapter.left.found) + ",\"rightMarkerFound\":"
               + jsonBool(chapter.right.found) + ",\"savedText\":" + gbkJsonString(chapter.savedText)
               + ",\"savedBytes\":" + std::to_string(chapter.savedLength) + ",\"savedCharacters\":"
               + std::to_string(chapter.savedCharacters) + ",\"leftovers\":" + leftovers + "]}";
    }
    std::string problems = "[";
    for (const std::string& problem : report.problems()) {
        problems += (problems.size() > 1 ? "," : "") + jsonUtf8(problem);
    }
    out += ",\"cancelled\":" + jsonBool(report.cancelled) + ",\"passed\":" + jsonBool(report.passed())
           + ",\"problems\":" + problems + "]}";
    return out;
}

}  // namespace velmora
