#include "job/ChapterFetch.h"

#include "core/Encoding.h"
#include "core/RegexObject.h"
#include "core/Text.h"
#include "job/ChapterFiles.h"
#include "job/ChapterText.h"
#include "job/RequestPace.h"
#include "web/HttpRequest.h"
#include "web/PageEncoding.h"
#include "web/Url.h"

#include <set>

namespace velmora {
namespace {

bool cancelled(const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// Why a GET did not give a usable page: the transfer's failure, an error
// status (even when it came with a page), or an empty page. Empty when the
// answer looks fine.
std::string responseFailure(const HttpOutcome& outcome, std::string_view page)
{
    if (outcome.failure != HttpFailure::none || outcome.status < 200 || outcome.status > 299) {
        return describeHttpOutcome(outcome);
    }
    return page.empty() ? "页面为空" : "";
}

// What a reader of the failure learns about the encoding: said only when it
// was a guess or when characters were lost.
std::string encodingNote(const DecodedPage& page)
{
    const bool guessed = page.encoding == "GB18030" && page.why.find("GB18030") != std::string::npos;
    if (!guessed && page.unrepresentable == 0) {
        return {};
    }
    std::string note = "网页编码 " + page.encoding + "（" + page.why + "）";
    if (page.unrepresentable > 0) {
        note += "，" + unrepresentableNote(page.unrepresentable);
    }
    return note;
}

// "<p>" paragraphs that a site never closes closed before the next one, so
// the cleanup table turns each into a line of its own; closed ones, which
// the table already handles, are left as they are.
std::string closeOpenParagraphs(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool open = false;
    std::size_t from = 0;
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        const std::string_view tag = text.substr(at, 4);
        if (tag.starts_with("<p>")) {
            out.append(text.substr(from, at - from));
            from = at;
            if (open) {
                out += "</p>";
            }
            open = true;
        } else if (tag == "</p>") {
            open = false;
        }
    }
    out.append(text.substr(from));
    return out;
}

}  // namespace

std::string unrepresentableNote(std::size_t count)
{
    return count == 0 ? std::string() : std::to_string(count) + " 个字符 GBK 无法表示，记作“?”";
}

std::string withNote(std::string reason, std::string_view note)
{
    if (!note.empty()) {
        reason += reason.empty() ? "" : "；";
        reason += note;
    }
    return reason;
}

std::string chapterTextFromCuts(std::string_view title, std::string_view cuts,
                                const std::vector<std::string>& removeTexts)
{
    const std::string text = std::string(title) + "\r\n" + closeOpenParagraphs(cuts);
    return removeRemainingMarkup(CleanChapterText(text), removeTexts);
}

FetchedPage fetchPage(std::string_view address, const SiteFetch& site)
{
    FetchedPage page;
    page.finalUrl = address;
    const PaceSlot slot(site.pace, site.cancel);
    if (!slot.held() || cancelled(site.cancel)) {
        page.failure = kCancelled;
        return page;
    }
    std::string responseHeaders;
    HttpOutcome outcome;
    const std::string body = HttpRequest(address, 0, {}, nullptr, nullptr, nullptr, &responseHeaders, false, nullptr,
                                         {}, HttpCallOptions{site.cancel, &outcome});
    if (cancelled(site.cancel)) {
        page.failure = kCancelled;
        return page;
    }
    if (!outcome.finalUrl.empty()) {
        page.finalUrl = outcome.finalUrl;
    }
    DecodedPage decoded = decodePage(body, responseHeaders, site.options.pageEncoding);
    page.encodingNote = encodingNote(decoded);
    page.failure = responseFailure(outcome, decoded.text);
    if (outcome.status == 429 || outcome.status == 503) {
        page.throttled = true;
        page.retryAfter = outcome.retryAfter;
    }
    if (page.failure.empty()) {
        for (const std::string& blockText : site.options.blockPageTexts) {
            if (!blockText.empty() && text::find(decoded.text, blockText) != -1) {
                page.failure = "拦截页（含“" + encoding::gbkToUtf8(blockText) + "”）";
                page.throttled = true;
                break;
            }
        }
    }
    if (page.failure.empty()) {
        page.text = std::move(decoded.text);
    }
    return page;
}

std::string fetchPageText(std::string_view address, const std::atomic<bool>* cancel, std::string* failure)
{
    SiteFetch site;
    site.cancel = cancel;
    FetchedPage page = fetchPage(address, site);
    if (failure != nullptr) {
        *failure = page.failure;
    }
    return std::move(page.text);
}

std::string nextPageAddress(std::string_view pageText, std::string_view pattern, std::string_view pageAddress,
                            std::string* failure)
{
    if (pattern.empty()) {
        return {};
    }
    RegexObject regex;
    if (!regex.run(pattern, pageText, false, true, false)) {
        if (failure != nullptr && regex.errorOffset() >= 0) {
            *failure =
                "下一页正则有误（第 " + std::to_string(regex.errorOffset() + 1) + " 个字符）：" + regex.errorMessage();
        }
        return {};
    }
    const std::string link = regex.groupText(1, 1);
    return link.empty() ? std::string() : resolveAddress(pageAddress, link);
}

namespace {

// One attempt at a whole chapter: every page read and cut, or the failure.
std::optional<std::string> fetchChapterPages(const ChapterSource& chapter, const SiteFetch& site,
                                             const std::string& left, std::string& reason, bool& throttled,
                                             std::string& retryAfter)
{
    std::string cuts;
    std::set<std::string> visited;
    std::string address = chapter.address;
    for (int pageNumber = 1; pageNumber <= kMostPages; ++pageNumber) {
        visited.insert(address);
        FetchedPage page = fetchPage(address, site);
        const std::string where = pageNumber == 1 ? std::string() : "第 " + std::to_string(pageNumber) + " 页：";
        if (!page.failure.empty()) {
            reason = where + page.failure;
            throttled = page.throttled;
            retryAfter = page.retryAfter;
            return std::nullopt;
        }
        if (text::find(page.text, left) == -1) {
            reason = withNote(where + std::string(kNoLeftMarker), page.encodingNote);
            return std::nullopt;
        }
        if (pageNumber > 1) {
            cuts += "\r\n";
        }
        cuts += TextBetween(page.text, chapter.leftMarker, chapter.rightMarker);
        std::string patternFailure;
        const std::string next =
            nextPageAddress(page.text, site.options.nextChapterPagePattern, page.finalUrl, &patternFailure);
        if (!patternFailure.empty()) {
            reason = patternFailure;
            return std::nullopt;
        }
        visited.insert(page.finalUrl);
        if (next.empty() || visited.contains(next) || next == chapter.nextChapter) {
            break;
        }
        address = next;
    }
    return chapterTextFromCuts(chapter.title, cuts, site.options.removeTexts);
}

}  // namespace

std::optional<std::string>
fetchChapter(const ChapterSource& chapter, const SiteFetch& site,
             const std::function<void(int attempt, const std::string& lastFailure)>& beforeAttempt,
             std::string* failure)
{
    const std::string left = resolveQuotePlaceholder(chapter.leftMarker);
    std::string reason;
    bool throttled = false;
    std::string retryAfter;
    int throttledCount = 0;
    for (int attempt = 1; attempt <= kHttpAttempts && !cancelled(site.cancel); ++attempt) {
        if (throttled && !sleepUnlessCancelled(retryWait(retryAfter, ++throttledCount), site.cancel)) {
            break;
        }
        if (beforeAttempt) {
            beforeAttempt(attempt, reason);
        }
        throttled = false;
        if (auto text = fetchChapterPages(chapter, site, left, reason, throttled, retryAfter)) {
            if (failure != nullptr) {
                failure->clear();
            }
            return text;
        }
    }
    if (failure != nullptr) {
        *failure = cancelled(site.cancel) ? std::string(kCancelled) : reason;
    }
    return std::nullopt;
}

std::optional<std::string>
fetchChapterHttp(std::string_view address, std::string_view title, std::string_view leftMarker,
                 std::string_view rightMarker,
                 const std::function<void(int attempt, const std::string& lastFailure)>& beforeAttempt,
                 const std::atomic<bool>* cancel, std::string* failure)
{
    SiteFetch site;
    site.cancel = cancel;
    return fetchChapter(
        {std::string(address), std::string(title), std::string(leftMarker), std::string(rightMarker), {}}, site,
        beforeAttempt, failure);
}

}  // namespace velmora
