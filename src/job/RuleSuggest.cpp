#include "job/RuleSuggest.h"

#include "core/Encoding.h"
#include "core/RegexObject.h"
#include "core/Text.h"
#include "job/ChapterFiles.h"
#include "job/ChapterList.h"
#include "web/Url.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace velmora {
namespace {

// A link of the list page: `<a ... href=...>title</a>`.
constexpr std::string_view kAnchor = R"(<a\s(?:[^>]*?\s)?href\s*=\s*["']?([^"'\s>]+)["']?[^>]*>(.*?)</a>)";

struct Anchor {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::string key;           // the tag in front of it, attribute values left out
    std::string wrapper;       // the tag right in front of it (blanks between allowed), or empty
    bool chapterLike = false;  // its title holds Chinese characters or digits
};

bool isDoubleByte(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x81; });
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A literal text as a pattern: metacharacters escaped, each run of blanks
// read as any run of blanks (or none).
std::string literalPattern(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = text::charLength(text, i);
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        const char c = text[i];
        if (isBlank(c)) {
            while (i < text.size() && isBlank(text[i])) {
                ++i;
            }
            out += "\\s*";
            continue;
        }
        if (std::string_view("\\^$.|?*+()[]{}/").find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
        ++i;
    }
    return out;
}

// The tag that ends right before `at` (blanks skipped), or empty.
std::string tagBefore(std::string_view page, std::size_t at, std::size_t* tagBegin = nullptr)
{
    while (at > 0 && isBlank(page[at - 1])) {
        --at;
    }
    if (at == 0 || page[at - 1] != '>') {
        return {};
    }
    const std::size_t open = page.rfind('<', at - 1);
    if (open == std::string_view::npos || page.substr(open, at - open).find('\n') != std::string_view::npos) {
        return {};
    }
    if (tagBegin != nullptr) {
        *tagBegin = open;
    }
    return std::string(page.substr(open, at - open));
}

// The tag in lower case with its attribute values left out, except class
// and id, which tell a site's kinds of markup apart.
std::string tagShape(std::string_view tag)
{
    RegexObject regex;
    regex.run(R"((\b(?:class|id)\s*)?=\s*("[^"]*"|'[^']*'|[^\s>]+))", tag);
    return text::toLowerAscii(regex.replaceAll("$1=$2$2"));
}

// The element name of a tag such as "<dd>" or "</DIV>", in lower case.
std::string tagName(std::string_view tag)
{
    std::size_t i = tag.size() > 1 && tag[1] == '/' ? 2 : 1;
    const std::size_t from = i;
    while (i < tag.size() && std::isalnum(static_cast<unsigned char>(tag[i]))) {
        ++i;
    }
    return text::toLowerAscii(tag.substr(from, i - from));
}

// For each offset in `at` (ascending), the offset of the element that holds
// it as a list: the nearest open ul, ol, dl or table, else the nearest open
// div, section, p or body. A loose reading of the markup, enough to tell one
// list from another.
std::vector<std::size_t> containers(std::string_view page, const std::vector<std::size_t>& at)
{
    static const std::set<std::string> lists = {"ul", "ol", "dl", "table"};
    static const std::set<std::string> blocks = {"div", "section", "p", "body", "td", "article", "nav"};
    static const std::set<std::string> empty = {"br", "img", "meta", "link", "input", "hr", "wbr", "source"};
    std::vector<std::pair<std::string, std::size_t>> open;
    std::vector<std::size_t> found;
    std::size_t next = 0;
    const auto record = [&](std::size_t until) {
        for (; next < at.size() && at[next] < until; ++next) {
            std::size_t holder = 0;
            for (const std::set<std::string>* kind : {&lists, &blocks}) {
                for (auto it = open.rbegin(); it != open.rend() && holder == 0; ++it) {
                    holder = kind->count(it->first) != 0 ? it->second + 1 : 0;
                }
                if (holder != 0) {
                    break;
                }
            }
            found.push_back(holder);
        }
    };
    for (std::size_t i = page.find('<'); i != std::string_view::npos; i = page.find('<', i + 1)) {
        const std::size_t close = page.find('>', i);
        if (close == std::string_view::npos) {
            break;
        }
        record(i);
        const std::string_view tag = page.substr(i, close + 1 - i);
        const std::string name = tagName(tag);
        if (tag.size() > 1 && tag[1] == '/') {
            const auto it = std::find_if(open.rbegin(), open.rend(), [&](const auto& o) { return o.first == name; });
            if (it != open.rend()) {
                open.erase(std::next(it).base(), open.end());
            }
        } else if (!name.empty() && empty.count(name) == 0 && tag[tag.size() - 2] != '/') {
            open.emplace_back(name, i);
            if (name == "script" || name == "style") {
                const std::size_t end = text::toLowerAscii(page.substr(close)).find("</" + name);
                i = end == std::string::npos ? page.size() : close + end;
                open.pop_back();
                continue;
            }
        }
        i = close;
    }
    record(page.size() + 1);
    return found;
}

std::vector<Anchor> findAnchors(std::string_view page)
{
    RegexObject regex;
    regex.run(kAnchor, page);
    std::vector<Anchor> anchors;
    for (int m = 1; m <= regex.matchCount(); ++m) {
        Anchor anchor;
        regex.groupRange(m, 0, anchor.begin, anchor.end);
        const std::string title = regex.groupText(m, 2);
        anchor.chapterLike = isDoubleByte(title) || std::any_of(title.begin(), title.end(), ::isdigit);
        anchor.wrapper = tagBefore(page, anchor.begin);
        // A link that follows another inside the same item (two chapters to
        // a line) belongs to that item's kind.
        const bool follows = anchor.wrapper.empty() || text::startsWith(anchor.wrapper, "</a", true);
        anchor.key = follows && !anchors.empty() ? anchors.back().key : tagShape(anchor.wrapper);
        anchors.push_back(std::move(anchor));
    }
    std::vector<std::size_t> starts;
    for (const Anchor& anchor : anchors) {
        starts.push_back(anchor.begin);
    }
    const std::vector<std::size_t> holders = containers(page, starts);
    for (std::size_t i = 0; i < anchors.size(); ++i) {
        anchors[i].key += "@" + std::to_string(holders[i]);
    }
    return anchors;
}

// The tags of [from, to) nearest to `towards` first, unique in the page and
// free of the novel's own words: a guard that serves every novel of the site.
std::string uniqueTag(std::string_view page, std::size_t from, std::size_t to, bool nearestLast)
{
    std::vector<std::string> tags;
    for (std::size_t at = page.find('<', from); at != std::string_view::npos && at < to; at = page.find('<', at + 1)) {
        const std::size_t close = page.find('>', at);
        if (close == std::string_view::npos || close >= to) {
            break;
        }
        tags.emplace_back(page.substr(at, close + 1 - at));
    }
    if (nearestLast) {
        std::reverse(tags.begin(), tags.end());
    }
    for (const std::string& tag : tags) {
        if (!isDoubleByte(tag) && tag.find('\n') == std::string::npos && text::countOccurrences(page, tag) == 1) {
            return tag;
        }
    }
    return {};
}

void suggestListPattern(std::string_view listAddress, std::string_view page, RuleSuggestion& suggestion)
{
    const std::vector<Anchor> anchors = findAnchors(page);
    // Runs of links of one shape in one list.
    std::size_t bestBegin = 0;
    std::size_t bestEnd = 0;
    int bestScore = 0;
    for (std::size_t i = 0; i < anchors.size();) {
        std::size_t j = i + 1;
        while (j < anchors.size() && anchors[j].key == anchors[i].key) {
            ++j;
        }
        const int score = static_cast<int>(std::count_if(anchors.begin() + static_cast<std::ptrdiff_t>(i),
                                                         anchors.begin() + static_cast<std::ptrdiff_t>(j),
                                                         [](const Anchor& a) { return a.chapterLike; }));
        // The later block wins a tie: a "latest chapters" block stands above the full list.
        if (score >= 2 && score >= bestScore) {
            bestScore = score;
            bestBegin = i;
            bestEnd = j;
        }
        i = j;
    }
    if (bestScore == 0) {
        suggestion.notes.push_back("章节列表: 列表页上没有成组的章节链接");
        return;
    }
    const Anchor& first = anchors[bestBegin];
    const std::size_t blockBegin = first.begin;
    const std::size_t blockEnd = anchors[bestEnd - 1].end;
    std::string link = std::string(kAnchor);
    // Every link of the block must stand right behind its wrapper for the
    // wrapper to lead the pattern.
    const bool wrapped = std::all_of(anchors.begin() + static_cast<std::ptrdiff_t>(bestBegin),
                                     anchors.begin() + static_cast<std::ptrdiff_t>(bestEnd),
                                     [&](const Anchor& a) { return a.wrapper == first.wrapper; })
                         && !first.wrapper.empty();
    if (wrapped) {
        link = literalPattern(first.wrapper) + "\\s*" + link;
    }

    // Links of the same shape elsewhere on the page (a "latest chapters"
    // block above, recommendations below) are skipped over by guards: the
    // search jumps past a unique tag in front of the block, and stops at one
    // after it.
    RegexObject regex;
    regex.run(link, page);
    std::size_t lastBefore = 0;
    std::size_t firstAfter = page.size();
    bool before = false;
    bool after = false;
    for (int m = 1; m <= regex.matchCount(); ++m) {
        std::size_t b = 0;
        std::size_t e = 0;
        regex.groupRange(m, 0, b, e);
        if (e <= blockBegin) {
            before = true;
            lastBefore = e;
        } else if (b >= blockEnd && !after) {
            after = true;
            firstAfter = b;
        }
    }
    std::string pattern;
    if (before) {
        const std::string start = uniqueTag(page, lastBefore, blockBegin, true);
        if (start.empty()) {
            suggestion.notes.push_back("章节列表: 列表前面有同样的链接，未找到可以跳过它们的标记");
        } else {
            pattern += "\\A[\\s\\S]*?" + literalPattern(start) + "(*SKIP)(*F)|";
        }
    }
    if (after) {
        const std::string end = uniqueTag(page, blockEnd, firstAfter, false);
        if (end.empty()) {
            suggestion.notes.push_back("章节列表: 列表后面有同样的链接，未找到可以止住的标记");
        } else {
            pattern += literalPattern(end) + "[\\s\\S]*(*SKIP)(*F)|";
        }
    }
    pattern += link;
    suggestion.rule.patterns.chapterList = pattern;
    suggestion.notes.push_back("章节列表: " + std::to_string(bestEnd - bestBegin) + " 个链接的一组"
                               + (wrapped ? "，每个在 " + encoding::gbkToUtf8(first.wrapper) + " 之后" : ""));

    // The captured addresses must come out right behind retrieval's prefix.
    const ChapterListPage parsed = parseChapterList(page, {}, {}, pattern);
    const std::string base = RelativeBaseAddress(listAddress, parsed.firstAddress);
    suggestion.addressesResolve = !parsed.chapters.empty();
    for (std::size_t i = 0; i < parsed.chapters.size() && i < 20; ++i) {
        const std::string& address = parsed.chapters[i].address;
        if (base + address != resolveAddress(listAddress, address)) {
            suggestion.addressesResolve = false;
        }
    }
    suggestion.notes.push_back(suggestion.addressesResolve ? "章节网址: 按列表网址补全即可"
                                                           : "章节网址: 按列表网址补全后与链接指向不同");
}

// The first candidate whose group 1 gives a text on the page.
std::string firstWorking(std::string_view page, const std::vector<std::string>& candidates, bool trim)
{
    RegexObject regex;
    for (const std::string& candidate : candidates) {
        const std::string pattern = encoding::toGbk(candidate);
        if (regex.run(pattern, page)) {
            const std::string value = regex.groupText(1, 1);
            if (!(trim ? text::trimSpaces(value) : text::removeSpaces(value)).empty()) {
                return pattern;
            }
        }
    }
    return {};
}

std::vector<std::string> metaCandidates(std::string_view property)
{
    const std::string p(property);
    return {
        R"(<meta\s[^>]*?property\s*=\s*["'])" + p + R"(["'][^>]*?content\s*=\s*["']([^"']*)["'])",
        R"(<meta\s[^>]*?content\s*=\s*["']([^"']*)["'][^>]*?property\s*=\s*["'])" + p + R"(["'])",
    };
}

template <typename... Lists>
std::vector<std::string> joined(Lists... lists)
{
    std::vector<std::string> out;
    (out.insert(out.end(), lists.begin(), lists.end()), ...);
    return out;
}

std::string siteOf(std::string_view listAddress)
{
    const std::optional<HttpAddress> parsed = parseHttpAddress(listAddress);
    if (!parsed) {
        return {};
    }
    const std::string host = UrlHost(listAddress, true);
    const std::size_t colon = listAddress.find(':');
    return std::string(listAddress.substr(0, colon)) + "://" + host + "/";
}

}  // namespace

bool RuleSuggestion::complete() const
{
    return !rule.patterns.novelName.empty() && !rule.patterns.chapterList.empty() && !rule.markers.left.empty()
           && !rule.markers.right.empty();
}

void suggestListPatterns(std::string_view listAddress, std::string_view listPage, RuleSuggestion& suggestion)
{
    suggestion.siteAddress = siteOf(listAddress);
    suggestion.name = UrlHost(listAddress);
    suggestion.rule.patterns.novelName = firstWorking(
        listPage,
        joined(metaCandidates("og:novel:book_name"), metaCandidates("og:title"),
               std::vector<std::string>{R"(<h1[^>]*>\s*(?:<[^>]*>\s*)*《?([^<》]+))", R"(<title>\s*([^<_|\-—]+))"}),
        true);
    suggestion.rule.patterns.author = firstWorking(
        listPage,
        joined(metaCandidates("og:novel:author"),
               std::vector<std::string>{R"(作(?:\s|&nbsp;|　)*者(?:\s|&nbsp;|　)*[：:]\s*(?:<[^>]*>\s*)*([^<\s]+))",
                                        R"(\bauthor\s*=\s*['"]([^'"]+)['"])", R"(\bauthor=([^"'&<>\s]+))"}),
        false);
    suggestion.notes.push_back(suggestion.rule.patterns.novelName.empty() ? "小说名: 未找到" : "小说名: 已找到");
    suggestion.notes.push_back(suggestion.rule.patterns.author.empty() ? "作者: 未找到" : "作者: 已找到");
    suggestListPattern(listAddress, listPage, suggestion);
}

void suggestMarkers(std::string_view page, RuleSuggestion& suggestion)
{
    // Runs of text in which only line-break and paragraph tags and entities
    // stand; the run with the most Chinese characters is the chapter.
    const auto inlineTag = [](std::string_view tag) {
        const std::string shape = text::toLowerAscii(tag);
        return shape == "<br>" || shape == "<br/>" || shape == "<br />" || shape == "<p>" || shape == "</p>"
               || text::startsWith(shape, "<p ");
    };
    std::size_t bestBegin = 0;
    std::size_t bestEnd = 0;
    int bestCount = 0;
    std::size_t runBegin = 0;
    int count = 0;
    bool inScript = false;
    for (std::size_t i = 0; i < page.size();) {
        if (page[i] == '<') {
            const std::size_t close = page.find('>', i);
            if (close == std::string_view::npos) {
                break;
            }
            const std::string_view tag = page.substr(i, close + 1 - i);
            const std::string lower = text::toLowerAscii(tag.substr(0, 8));
            if (!inlineTag(tag)) {
                if (count > bestCount) {
                    bestCount = count;
                    bestBegin = runBegin;
                    bestEnd = i;
                }
                count = 0;
                runBegin = close + 1;
                inScript = text::startsWith(lower, "<script") || text::startsWith(lower, "<style")
                           || text::startsWith(lower, "<title");
            }
            i = close + 1;
            continue;
        }
        const std::size_t length = text::charLength(page, i);
        if (length == 2 && !inScript) {
            ++count;
        }
        i += length;
    }
    if (bestCount == 0) {
        suggestion.notes.push_back("内容标记: 章节页上没有中文正文");
        return;
    }
    // The left marker is the tag in front of the text, widened with the
    // markup before it (an advert's script, say) until its first occurrence
    // is this one. It stays on one line, as the marker's field shows it.
    std::string left;
    if (!tagBefore(page, bestBegin).empty()) {
        std::size_t at = bestBegin;
        for (int widen = 0; widen < 4 && at > 0; ++widen) {
            const std::size_t open = page.rfind('<', at - 1);
            if (open == std::string_view::npos
                || page.substr(open, bestBegin - open).find_first_of("\r\n") != std::string_view::npos) {
                break;
            }
            at = open;
            if (static_cast<std::size_t>(text::find(page, page.substr(at, bestBegin - at))) == at + 1) {
                left = std::string(page.substr(at, bestBegin - at));
                break;
            }
        }
    }
    const std::size_t close = page.find('>', bestEnd);
    const std::string right(page.substr(bestEnd, close + 1 - bestEnd));
    if (left.empty() || isDoubleByte(left)) {
        suggestion.notes.push_back("内容标记: 正文前面没有独一无二的标记");
        return;
    }
    suggestion.rule.markers = {left, right};
    suggestion.notes.push_back("内容标记: 正文 " + std::to_string(bestCount) + " 个中文字符，在 "
                               + encoding::gbkToUtf8(left) + " 与 " + encoding::gbkToUtf8(right) + " 之间");
}

RuleSuggestion suggestRule(std::string_view listAddress, const std::atomic<bool>* cancel)
{
    RuleSuggestion suggestion;
    const TestedPage list = fetchTestedPage(listAddress, cancel);
    if (!list.failure.empty()) {
        suggestion.siteAddress = siteOf(listAddress);
        suggestion.name = UrlHost(listAddress);
        suggestion.notes.push_back("列表页: " + list.failure);
        return suggestion;
    }
    suggestListPatterns(listAddress, list.text, suggestion);
    const ChapterListPage parsed = parseChapterList(list.text, {}, {}, suggestion.rule.patterns.chapterList);
    if (parsed.chapters.empty()) {
        return suggestion;
    }
    const std::string address = RelativeBaseAddress(listAddress, parsed.firstAddress) + parsed.chapters[0].address;
    const TestedPage chapter = fetchTestedPage(address, cancel);
    if (!chapter.failure.empty()) {
        suggestion.notes.push_back("章节页: " + chapter.failure);
        return suggestion;
    }
    suggestMarkers(chapter.text, suggestion);
    return suggestion;
}

std::string suggestionText(const RuleSuggestion& suggestion)
{
    const auto line = [](std::string_view label, std::string_view gbk) {
        return std::string(label) + encoding::gbkToUtf8(gbk) + "\n";
    };
    std::string out = line("规则名: ", suggestion.name) + line("网址: ", suggestion.siteAddress)
                      + line("章节列表正则表达式: ", suggestion.rule.patterns.chapterList)
                      + line("小说名正则表达式: ", suggestion.rule.patterns.novelName)
                      + line("作者正则表达式: ", suggestion.rule.patterns.author)
                      + line("章节内容左侧: ", suggestion.rule.markers.left)
                      + line("章节内容右侧: ", suggestion.rule.markers.right);
    for (const std::string& note : suggestion.notes) {
        out += "  - " + note + "\n";
    }
    return out;
}

std::string suggestionJson(const RuleSuggestion& suggestion)
{
    std::string notes = "[";
    for (const std::string& note : suggestion.notes) {
        notes += (notes.size() > 1 ? "," : "") + gbkJsonString(encoding::toGbk(note));
    }
    const RuleUnderTest& rule = suggestion.rule;
    return "{\"name\":" + gbkJsonString(suggestion.name) + ",\"siteAddress\":" + gbkJsonString(suggestion.siteAddress)
           + ",\"chapterListPattern\":" + gbkJsonString(rule.patterns.chapterList) + ",\"novelNamePattern\":"
           + gbkJsonString(rule.patterns.novelName) + ",\"authorPattern\":" + gbkJsonString(rule.patterns.author)
           + ",\"contentLeftMarker\":" + gbkJsonString(rule.markers.left)
           + ",\"contentRightMarker\":" + gbkJsonString(rule.markers.right)
           + ",\"addressesResolve\":" + (suggestion.addressesResolve ? "true" : "false")
           + ",\"complete\":" + (suggestion.complete() ? "true" : "false") + ",\"notes\":" + notes + "]}";
}

}  // namespace velmora
