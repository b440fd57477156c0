#include "rules/RuleOptions.h"

#include "core/Encoding.h"
#include "core/Text.h"
#include "rules/RulesXml.h"

#include <algorithm>
#include <array>

namespace velmora {
namespace {

struct EncodingName {
    PageEncoding encoding;
    std::string_view name;
};

constexpr EncodingName kEncodingNames[] = {
    {PageEncoding::automatic, "auto"},
    {PageEncoding::gbk, "gbk"},
    {PageEncoding::utf8, "utf-8"},
    {PageEncoding::big5, "big5"},
};

// Several lines: stored one a line with CR LF between them; read at any
// line break, empty lines dropped.
std::string joinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines) {
        out += out.empty() ? "" : "\r\n";
        out += line;
    }
    return out;
}

std::vector<std::string> splitLines(std::string_view value)
{
    const std::string unified = text::replaceAll(text::replaceAll(value, "\r\n", "\n"), "\r", "\n");
    std::vector<std::string> lines = text::split(unified, "\n");
    std::erase(lines, std::string());
    return lines;
}

// A whole number within [low, high], or `fallback`.
int boundedNumber(std::string_view value, int low, int high, int fallback)
{
    if (value.empty() || !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return fallback;
    }
    const int n = text::leadingInt(value);
    return n >= low && n <= high ? n : fallback;
}

std::string numberOrUnset(int n)
{
    return n > 0 ? text::decimal(n) : std::string();
}

// One setting: its names, its value as written (empty when it is at its
// default, so no attribute), and how a stored value is read.
struct OptionAttribute {
    RuleOptionName names;
    std::string (*write)(const RuleOptions&);
    void (*read)(RuleOptions&, std::string_view);
};

// The settings in the order their attributes are added.
// clang-format off
const OptionAttribute kOptionAttributes[] = {
    {{"encoding", "网页编码", "auto"},
     [](const RuleOptions& o) {
         return o.pageEncoding == PageEncoding::automatic
                    ? std::string()
                    : std::string(std::find_if(std::begin(kEncodingNames), std::end(kEncodingNames),
                                               [&](const EncodingName& e) { return e.encoding == o.pageEncoding; })
                                      ->name);
     },
     [](RuleOptions& o, std::string_view v) {
         const std::string lower = text::toLowerAscii(v);
         for (const EncodingName& e : kEncodingNames) {
             if (lower == e.name) {
                 o.pageEncoding = e.encoding;
             }
         }
     }},
    {{"dedupe", "去重", "yes"}, [](const RuleOptions& o) { return o.removeRepeatedLinks ? std::string() : std::string(kStoredFalse); },
     [](RuleOptions& o, std::string_view v) { o.removeRepeatedLinks = v != kStoredFalse; }},
    {{"reverse-list", "目录倒序", "no"}, [](const RuleOptions& o) { return o.reverseList ? std::string(kStoredTrue) : std::string(); },
     [](RuleOptions& o, std::string_view v) { o.reverseList = v == kStoredTrue; }},
    {{"next-list-page", "目录下一页", ""}, [](const RuleOptions& o) { return o.nextListPagePattern; },
     [](RuleOptions& o, std::string_view v) { o.nextListPagePattern = v; }},
    {{"next-chapter-page", "章节下一页", ""}, [](const RuleOptions& o) { return o.nextChapterPagePattern; },
     [](RuleOptions& o, std::string_view v) { o.nextChapterPagePattern = v; }},
    {{"max-parallel", "最大并发", ""}, [](const RuleOptions& o) { return numberOrUnset(o.maxConcurrency); },
     [](RuleOptions& o, std::string_view v) { o.maxConcurrency = boundedNumber(v, 1, kMaxRuleConcurrency, 0); }},
    {{"interval-ms", "请求间隔毫秒", "0"}, [](const RuleOptions& o) { return numberOrUnset(o.minIntervalMs); },
     [](RuleOptions& o, std::string_view v) { o.minIntervalMs = boundedNumber(v, 0, kMaxRuleIntervalMs, 0); }},
    {{"block-text", "拦截页文字", ""}, [](const RuleOptions& o) { return joinLines(o.blockPageTexts); },
     [](RuleOptions& o, std::string_view v) { o.blockPageTexts = splitLines(v); }},
    {{"remove-text", "去除文字", ""}, [](const RuleOptions& o) { return joinLines(o.removeTexts); },
     [](RuleOptions& o, std::string_view v) { o.removeTexts = splitLines(v); }},
};
// clang-format on

constexpr std::size_t kOptionCount = std::size(kOptionAttributes);

const std::array<std::string, kOptionCount>& gbkNames()
{
    static const std::array<std::string, kOptionCount> names = [] {
        std::array<std::string, kOptionCount> out;
        for (std::size_t i = 0; i < kOptionCount; ++i) {
            out[i] = encoding::toGbk(kOptionAttributes[i].names.attribute);
        }
        return out;
    }();
    return names;
}

}  // namespace

std::span<const RuleOptionName> ruleOptionNames()
{
    static const std::array<RuleOptionName, kOptionCount> names = [] {
        std::array<RuleOptionName, kOptionCount> out;
        for (std::size_t i = 0; i < kOptionCount; ++i) {
            out[i] = kOptionAttributes[i].names;
        }
        return out;
    }();
    return names;
}

RuleOptions readRuleOptions(const XmlElement& rule)
{
    RuleOptions options;
    for (std::size_t i = 0; i < kOptionCount; ++i) {
        if (const XmlAttribute* attr = rule.attribute(gbkNames()[i])) {
            kOptionAttributes[i].read(options, attr->value);
        }
    }
    return options;
}

void writeRuleOptions(XmlElement& rule, const RuleOptions& options)
{
    for (std::size_t i = 0; i < kOptionCount; ++i) {
        const std::string& name = gbkNames()[i];
        std::string value = kOptionAttributes[i].write(options);
        XmlAttribute* attr = rule.attribute(name);
        if (value.empty()) {
            std::erase_if(rule.attributes, [&](const XmlAttribute& a) { return a.name == name; });
        } else if (attr != nullptr) {
            attr->value = std::move(value);
        } else {
            rule.attributes.push_back({name, std::move(value)});
        }
    }
}

}  // namespace velmora
