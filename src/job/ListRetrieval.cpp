// The chapter-list retrieval of NovelEngine.h: list pages fetched, decoded
// and parsed, chapter addresses resolved and put in reading order.
#include "core/RegexObject.h"
#include "job/ChapterFetch.h"
#include "job/ChapterFiles.h"
#include "job/ChapterLinks.h"
#include "job/ChapterList.h"
#include "job/ChapterStatus.h"
#include "job/NovelEngine.h"
#include "job/RequestPace.h"
#include "web/Url.h"

#include <set>

namespace velmora {
namespace {

constexpr std::string_view kNoNovelName = "页面中未找到书名";
constexpr std::string_view kInternalError = "内部错误（内存不足或意外异常）";

// "书名正则有误（第 N 个字符）：message" when `pattern` does not compile.
std::string patternError(std::string_view label, std::string_view pattern)
{
    RegexObject regex;
    if (regex.run(pattern, "", false, true, false) || regex.errorOffset() < 0) {
        return {};
    }
    return std::string(label) + "正则有误（第 " + std::to_string(regex.errorOffset() + 1) + " 个字符）："
           + regex.errorMessage();
}

Retrieval retrieve(std::string_view typedAddress, const ListPatterns& patterns, const RuleOptions& options,
                   const std::atomic<bool>* cancel)
{
    Retrieval result;
    const std::string listAddress = addressFromTyping(typedAddress);
    RequestPace pace(options.maxConcurrency, options.minIntervalMs);
    const SiteFetch site{options, &pace, cancel};
    std::vector<ListPageLinks> pages;
    std::string prefix;
    std::set<std::string> visited;
    std::string address = listAddress;
    std::string encodingNote;
    int pagesRead = 0;
    for (int pageNumber = 1; pageNumber <= kMostPages; ++pageNumber) {
        visited.insert(address);
        const FetchedPage page = fetchPage(address, site);
        const std::string where = pageNumber == 1 ? std::string() : "目录第 " + std::to_string(pageNumber) + " 页：";
        if (!page.failure.empty()) {
            result.failure = where + page.failure;
            return result;
        }
        ++pagesRead;
        encodingNote = encodingNote.empty() ? page.encodingNote : encodingNote;
        ChapterListPage found;
        if (pageNumber > 1) {
            found.chapters = parseChapterLinks(page.text, patterns.chapterList);
        } else {
            found = parseChapterList(page.text, patterns.novelName, patterns.author, patterns.chapterList);
            if (found.novelName.empty()) {
                std::string why = std::string(kNoNovelName);
                why = withNote(why, patternError("书名", patterns.novelName));
                why = withNote(why, patternError("目录", patterns.chapterList));
                result.failure = withNote(why, page.encodingNote);
                return result;
            }
            result.novel = {found.novelName, found.author, {}};
            prefix = RelativeBaseAddress(listAddress, found.firstAddress);
        }
        pages.push_back({page.finalUrl, std::move(found.chapters)});
        std::string patternFailure;
        const std::string next =
            nextPageAddress(page.text, options.nextListPagePattern, page.finalUrl, &patternFailure);
        if (!patternFailure.empty()) {
            result = {};
            result.failure = "目录" + patternFailure;
            return result;
        }
        visited.insert(page.finalUrl);
        if (next.empty() || visited.contains(next)) {
            break;
        }
        address = next;
    }
    result.found = true;

    ListRows list = rowsFromListPages(std::move(pages), std::move(prefix), options);
    result.novel.baseAddress = std::move(list.baseAddress);
    result.rows.reserve(list.rows.size());
    int number = 0;
    for (ChapterLink& link : list.rows) {
        result.rows.push_back(
            {++number, std::move(link.title), std::move(link.address), ChapterStatus::waiting(), true, {}});
    }

    std::string note;
    if (pagesRead > 1) {
        note = "目录共 " + std::to_string(pagesRead) + " 页";
    }
    note = withNote(note, list.note);
    result.note = withNote(note, encodingNote);
    return result;
}

}  // namespace

Retrieval retrieveChapterList(std::string_view listAddress, const ListPatterns& patterns,
                              const std::atomic<bool>* cancel)
{
    return retrieveChapterList(listAddress, patterns, RuleOptions{}, cancel);
}

Retrieval retrieveChapterList(std::string_view listAddress, const ListPatterns& patterns, const RuleOptions& options,
                              const std::atomic<bool>* cancel)
{
    try {
        return retrieve(listAddress, patterns, options, cancel);
    } catch (...) {
        Retrieval failed;
        failed.failure = kInternalError;
        return failed;
    }
}

}  // namespace velmora
