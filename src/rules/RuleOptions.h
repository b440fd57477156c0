#pragma once

#include "web/PageEncoding.h"

#include <string>
#include <string_view>
#include <vector>

// Optional settings of a site rule, for sites that need more than the seven
// standard fields. Each is stored as an attribute of the rule's element after
// the standard ones, and only when it is set: a rule without them reads and
// writes exactly as before. Names and values (GBK in the file):
//
//   网页编码      encoding of the site's pages: "auto" (decided page by
//                 page, see decodePage; the default), "gbk", "utf-8" or "big5"
//   去重          "假" keeps chapter links that repeat in a list; removing
//                 repeats is the default
//   目录倒序      "真": the site lists chapters newest first
//   目录下一页    pattern whose group 1 is the next page of a long list
//   章节下一页    pattern whose group 1 is the next page of a long chapter
//   最大并发      most requests at once to the site, 1-20
//   请求间隔毫秒  least time between two requests to the site, 0-600000 ms
//   拦截页文字    texts (one a line) that mark a page as a block page
//   去除文字      texts (one a line) removed from every chapter
//
// A value the program cannot read (an unknown encoding, a number out of
// range) reads as the default.
namespace velmora {

struct XmlElement;

struct RuleOptions {
    PageEncoding pageEncoding = PageEncoding::automatic;
    bool removeRepeatedLinks = true;
    bool reverseList = false;
    std::string nextListPagePattern{};
    std::string nextChapterPagePattern{};
    int maxConcurrency = 0;  // 0: not set, the program's own
    int minIntervalMs = 0;   // 0: no pause; a fetcher adds random jitter
    std::vector<std::string> blockPageTexts{};
    std::vector<std::string> removeTexts{};

    bool operator==(const RuleOptions&) const = default;
};

constexpr int kMaxRuleConcurrency = 20;
constexpr int kMaxRuleIntervalMs = 600000;

// The settings held by a rule element's attributes.
RuleOptions readRuleOptions(const XmlElement& rule);

// Stores the settings on a rule element: a set one's attribute takes its
// value in place, or is added after the last attribute; one at its default
// loses its attribute. Every other attribute stays as it is.
void writeRuleOptions(XmlElement& rule, const RuleOptions& options);

}  // namespace velmora
