#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules/RuleOptions.h"

namespace velmora {

// Attempts a chapter download makes over HTTP before giving up.
inline constexpr int kHttpAttempts = 3;

// Downloads one chapter page over HTTP and returns the text to store for it
// (title line and the cleaned text between the markers), or nothing after
// kHttpAttempts failed attempts. `beforeAttempt` is told each attempt's
// number (from 1) as it starts, with the failure of the attempt before it
// (UTF-8, empty for the first). An attempt fails when the page comes back
// empty or without the left marker, which is what throttling notices and
// error pages look like; a page with the marker and nothing between the
// markers is a chapter with an empty text.
//
// Once `*cancel` is true no further attempt starts and the transfer under way
// ends early; the result is then nothing. `failure` receives why the last
// attempt failed (UTF-8), and is cleared on success.
std::optional<std::string>
fetchChapterHttp(std::string_view address, std::string_view title, std::string_view leftMarker,
                 std::string_view rightMarker,
                 const std::function<void(int attempt, const std::string& lastFailure)>& beforeAttempt,
                 const std::atomic<bool>* cancel = nullptr, std::string* failure = nullptr);

// Fetches a page with a plain GET and turns it into GBK page text
// (decompressed, converted from UTF-8 when it says so); empty on failure.
// `failure` (when given) receives what was wrong with the answer (UTF-8: no
// answer, an error status even when it came with a page, an empty page), or
// is cleared. `cancel` as above.
std::string fetchPageText(std::string_view address, const std::atomic<bool>* cancel = nullptr,
                          std::string* failure = nullptr);

class RequestPace;

// Most pages one chapter or one chapter list is read from, following a
// rule's next-page pattern.
inline constexpr int kMostPages = 50;

// How a site's pages are fetched: the rule's settings and the run's pace.
struct SiteFetch {
    RuleOptions options;
    RequestPace* pace = nullptr;  // nullptr: no pace of the site's own
    const std::atomic<bool>* cancel = nullptr;
};

// One page as a GET brought it.
struct FetchedPage {
    std::string text;          // GBK page text; empty when the page is not usable
    std::string finalUrl;      // the address that answered, after redirects
    std::string failure;       // UTF-8: why the page is not usable; empty when it is
    std::string encodingNote;  // UTF-8: how the encoding was decided, when guessed or "?" were put in
    bool throttled = false;    // HTTP 429 or 503, or a block page: wait before trying again
    std::string retryAfter;    // the Retry-After value of a 429 or 503
};

// Fetches `address` at the site's pace and decodes it with decodePage and
// the rule's encoding. A page is not usable when the transfer failed, the
// status is not 2xx, it is empty, or it holds one of the rule's block-page
// texts.
FetchedPage fetchPage(std::string_view address, const SiteFetch& site);

// UTF-8, for a failure's reader: "N 个字符 GBK 无法表示，记作“?”", or empty
// when `count` is 0.
std::string unrepresentableNote(std::size_t count);
// `reason` with `note` after it ("；" between them when both are there).
std::string withNote(std::string reason, std::string_view note);

// The next page's address: group 1 of the first match of `pattern` in
// `pageText`, resolved against `pageAddress` as a browser resolves a link;
// empty when the pattern is empty or finds nothing. A pattern that does not
// compile sets `failure` (UTF-8, with the position in the pattern).
std::string nextPageAddress(std::string_view pageText, std::string_view pattern, std::string_view pageAddress,
                            std::string* failure = nullptr);

// The text stored for a chapter: the title line, then the cut text of its
// pages (joined with line breaks), cleaned by CleanChapterText and then
// removeRemainingMarkup with `removeTexts`; a "<p>" left open ends at the
// next one. GBK in and out.
std::string chapterTextFromCuts(std::string_view title, std::string_view cuts,
                                const std::vector<std::string>& removeTexts);

// What fetchChapter needs to know about one chapter.
struct ChapterSource {
    std::string address;  // full address of its (first) page
    std::string title;
    std::string leftMarker;
    std::string rightMarker;
    std::string nextChapter;  // full address of the chapter after it, where page-following stops
};

// fetchChapterHttp with a site's settings: the chapter's pages are followed
// by the rule's next-page pattern (up to kMostPages, never to an address
// already read nor to the next chapter), each page cut between the markers,
// the cuts joined in order, then cleaned (CleanChapterText, then
// removeRemainingMarkup with the rule's texts to remove). A page that fails
// fails the attempt: no part of a chapter is ever returned as the whole.
// After a throttling answer the next attempt waits (retryWait); `*cancel`
// cuts the wait short.
std::optional<std::string>
fetchChapter(const ChapterSource& chapter, const SiteFetch& site,
             const std::function<void(int attempt, const std::string& lastFailure)>& beforeAttempt,
             std::string* failure = nullptr);

// Failure reasons that come from the page rather than the transfer (UTF-8).
inline constexpr std::string_view kNoLeftMarker = "页面缺少内容左标记";
inline constexpr std::string_view kCancelled = "已取消";

}  // namespace velmora
