#pragma once

#include "job/NovelEngine.h"
#include "job/RuleTest.h"

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

// A rule proposed from a site's own pages, for a site that has none yet: the
// list pattern from the most repeated block of chapter links on the list
// page, the name and author patterns from its og: meta lines, headings or
// title, and the content markers around the block of the chapter page that
// holds the most running Chinese text. Patterns are in the rules' dialect
// (RegexObject) and use markup only, never the novel's own words, so that
// they serve the site's other novels too. Texts are GBK; notes are UTF-8.
namespace velmora {

struct RuleSuggestion {
    std::string name;         // a rule name: the site's host
    std::string siteAddress;  // scheme and host of the list address, with a "/"
    RuleUnderTest rule;
    // The captured chapter addresses, put behind the prefix that retrieval
    // computes from the first one, give the addresses the links point at.
    bool addressesResolve = false;
    std::vector<std::string> notes;  // how each part was found, or why it was not

    // Every part was found.
    bool complete() const;
};

// The list part (name, author and list patterns) from a list page's GBK text.
void suggestListPatterns(std::string_view listAddress, std::string_view listPage, RuleSuggestion& suggestion);

// The markers from a chapter page's GBK text.
void suggestMarkers(std::string_view chapterPage, RuleSuggestion& suggestion);

// Fetches the list page, proposes the list part, fetches the first chapter's
// page and proposes the markers. Blocks; safe on any thread; `cancel` ends it
// early (the suggestion is then incomplete).
RuleSuggestion suggestRule(std::string_view listAddress, const std::atomic<bool>* cancel = nullptr);

// The suggestion as UTF-8 text for a terminal, or as a JSON object.
std::string suggestionText(const RuleSuggestion& suggestion);
std::string suggestionJson(const RuleSuggestion& suggestion);

}  // namespace velmora
