#pragma once

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
// number (from 1) as it starts. An attempt fails when the page comes back
// empty or without the left marker, which is what throttling notices and
// error pages look like; a page with the marker and nothing between the
// markers is a chapter with an empty text.
std::optional<std::string> FetchChapterHttp(std::string_view address, std::string_view title,
                                            std::string_view leftMarker, std::string_view rightMarker,
                                            const std::function<void(int attempt)>& beforeAttempt);

} // namespace velmora
