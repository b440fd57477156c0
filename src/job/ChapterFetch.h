#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

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
std::optional<std::string> FetchChapterHttp(std::string_view address, std::string_view title,
                                            std::string_view leftMarker, std::string_view rightMarker,
                                            const std::function<void(int attempt, const std::string& lastFailure)>&
                                                beforeAttempt,
                                            const std::atomic<bool>* cancel = nullptr,
                                            std::string* failure = nullptr);

// Fetches a page with a plain GET and turns it into GBK page text
// (decompressed, converted from UTF-8 when it says so); empty on failure.
// `failure` (when given) receives what was wrong with the answer (UTF-8: no
// answer, an error status even when it came with a page, an empty page), or
// is cleared. `cancel` as above.
std::string FetchPageText(std::string_view address, const std::atomic<bool>* cancel = nullptr,
                          std::string* failure = nullptr);

// Failure reasons that come from the page rather than the transfer (UTF-8).
inline constexpr std::string_view kNoLeftMarker = "页面缺少内容左标记";
inline constexpr std::string_view kCancelled = "已取消";

} // namespace velmora
