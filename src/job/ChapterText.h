#pragma once

#include "core/QuotePlaceholder.h"

#include <string>
#include <string_view>
#include <vector>

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

// Removes the mark-up CleanChapterText leaves, from its result: script and
// style blocks and comments go with their content; every form of <br> and
// <p> (any case, attributes, closing or self-closing) becomes a line break
// (CR LF) and every other tag goes; then every named and numeric character
// reference is decoded to GBK (a character GBK lacks becomes "?", spaces
// such as U+00A0 a plain space, zero-width and format characters nothing);
// control characters other than TAB, CR and LF are removed, then each of
// `extraTexts` (a rule's texts to remove) wherever it stands whole, and
// runs of blank lines are folded as CleanChapterText folds them. A "<" that
// opens no tag and an "&" that opens no known reference stay as they are.
std::string removeRemainingMarkup(std::string_view text, const std::vector<std::string>& extraTexts = {});

}  // namespace velmora
