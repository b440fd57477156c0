#pragma once

#include "core/QuotePlaceholder.h"

#include <string>
#include <string_view>

// Cutting a chapter's text out of its page and cleaning it. GBK text in and
// out; the arguments are left unchanged.
namespace velmora {

// The text between the first `left` marker at or after `start` (bytes from
// 1; 0 or less means the beginning) and the first `right` marker after it;
// empty when either marker is missing or the right one is empty.
std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, int start = 0,
                        bool ignoreCase = false);

// Replaces the HTML entities and line-break tags that sites leave in chapter
// text with plain characters and squeezes runs of blank lines.
std::string CleanChapterText(std::string_view text);

} // namespace velmora
