#pragma once

#include "rules/RuleOptions.h"

#include <cstddef>
#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

// The site rules, kept in one XML file and nowhere else: every operation
// loads the whole file, works on it and, when it changed something, writes
// it back whole. A file that cannot be read or parsed gives no rules and is
// never written. Each change holds a lock on the file's folder from its load
// to its save, so two writers (two copies of the program) never lose each
// other's edits; reads need no lock, since a save replaces the file whole.
namespace velmora {

// One site's rule; all texts are GBK.
struct SiteRule {
    std::string name{};                // the element's name
    std::string siteAddress{};         // 网址
    std::string chapterListPattern{};  // 章节列表正则表达式
    std::string novelNamePattern{};    // 小说名正则表达式
    std::string authorPattern{};       // 作者正则表达式
    std::string contentLeftMarker{};   // 章节内容左侧
    std::string contentRightMarker{};  // 章节内容右侧
    bool pageCapture = false;          // 页面抓取: "真" or "假"
    RuleOptions options{};             // the optional settings, attributes after these

    bool operator==(const SiteRule&) const = default;
};

enum class RuleField {
    name,
    siteAddress,
    chapterListPattern,
    novelNamePattern,
    authorPattern,
    contentLeftMarker,
    contentRightMarker,
    pageCapture,
    options,  // all of RuleOptions at once
};

// Where each stored field of a rule lives: its attribute in the rules file
// (named here in UTF-8; GBK in the file, see ruleAttributeName) and, for the
// six text fields, its member of SiteRule. Listed in the order a new rule's
// attributes are written, which is also the order of RuleField and of the
// rule settings window's fields. The element's name is the rule's name and
// the options have a table of their own (RuleOptions.cpp).
struct RuleAttribute {
    RuleField field;
    const char* name;
    std::string SiteRule::*text;  // null for pageCapture, stored as "真" or "假"
};

// clang-format off
inline constexpr RuleAttribute kRuleAttributes[] = {
    {RuleField::siteAddress,        "网址",               &SiteRule::siteAddress},
    {RuleField::chapterListPattern, "章节列表正则表达式", &SiteRule::chapterListPattern},
    {RuleField::novelNamePattern,   "小说名正则表达式",   &SiteRule::novelNamePattern},
    {RuleField::authorPattern,      "作者正则表达式",     &SiteRule::authorPattern},
    {RuleField::contentLeftMarker,  "章节内容左侧",       &SiteRule::contentLeftMarker},
    {RuleField::contentRightMarker, "章节内容右侧",       &SiteRule::contentRightMarker},
    {RuleField::pageCapture,        "页面抓取",           nullptr},
};
// clang-format on

// The six text fields come first, so a window can show kRuleAttributes[0..5].
inline constexpr std::size_t kRuleTextFieldCount = 6;

// The entry of an attribute field (not name or options).
constexpr const RuleAttribute& ruleAttribute(RuleField field)
{
    return kRuleAttributes[static_cast<std::size_t>(field) - 1];
}

static_assert([] {
    for (std::size_t i = 0; i < std::size(kRuleAttributes); ++i) {
        if (static_cast<std::size_t>(kRuleAttributes[i].field) != i + 1
            || (kRuleAttributes[i].text != nullptr) != (i < kRuleTextFieldCount)) {
            return false;
        }
    }
    return true;
}());

// The GBK name of an attribute field's attribute, as the rules file holds it.
const std::string& ruleAttributeName(RuleField field);

// The rules file's root element name, "小说站点", in GBK.
const std::string& rulesRootName();

// A set of rule fields, e.g. {RuleField::name, RuleField::pageCapture}.
class RuleFields {
public:
    constexpr RuleFields() = default;
    constexpr RuleFields(std::initializer_list<RuleField> fields)
    {
        for (const RuleField field : fields) {
            bits_ |= bit(field);
        }
    }

    static constexpr RuleFields all()
    {
        RuleFields fields;
        fields.bits_ = 0x1FF;
        return fields;
    }

    constexpr bool contains(RuleField field) const { return (bits_ & bit(field)) != 0; }

private:
    static constexpr unsigned bit(RuleField field) { return 1u << static_cast<unsigned>(field); }

    unsigned bits_ = 0;
};

// What became of a change asked of the rules file. True only when saved.
struct RuleChange {
    enum Outcome {
        saved,       // the change is in the file
        refused,     // nothing to do: no rule at that position, or a name the file cannot hold
        unreadable,  // the file could not be read as rules, so it was left alone
        notSaved,    // the file could not be written; it holds what it held before
    };

    Outcome outcome;

    explicit operator bool() const { return outcome == saved; }
    bool operator==(Outcome other) const { return outcome == other; }
};

class RuleStore {
public:
    // The rules file "下载配置.xml" in the working directory.
    RuleStore();
    explicit RuleStore(std::filesystem::path file);

    const std::filesystem::path& file() const { return file_; }

    // Writes DefaultRulesText() when no file (nor a link) stands at the
    // path; an existing file is never touched. A failed write goes unreported.
    void ensureRulesFile() const;

    // The rule names in file order; position n is index n - 1.
    std::vector<std::string> ruleNames() const;

    // The requested fields of the rule at the 1-based `position`; the others,
    // a missing attribute and every field of a missing position read empty
    // (pageCapture false). pageCapture is true only for exactly "真".
    SiteRule readRule(int position, RuleFields fields = RuleFields::all()) const;

    // For each rule in file order, the host of its address (UrlHost, no port).
    std::vector<std::string> siteHosts() const;

    // 0-based index of the first rule whose host equals `host` byte for
    // byte, or -1.
    int findRuleByHost(std::string_view host) const;

    // Adds the rule after the last one, with the seven attributes in the
    // standard order, then those of the options that are set. Refused
    // (nothing written) when the name cannot stand as an element name; see
    // isUsableXmlName.
    RuleChange appendRule(const SiteRule& rule) const;

    // On the rule at `position`: renames it first when `fields` holds name,
    // then sets each other requested field from `values` if the rule has that
    // attribute (a missing one is not created); `options` sets, adds or
    // removes the options' attributes (see writeRuleOptions). Refused, with
    // nothing written, for a missing position or an unusable new name.
    RuleChange updateRule(int position, RuleFields fields, const SiteRule& values) const;

    // Removes the rule at `position`; refused when there is none.
    RuleChange deleteRule(int position) const;

private:
    std::filesystem::path file_;
};

// The rule for a chapter-list address: findRuleByHost(UrlHost(address)).
int lookupRuleIndex(const RuleStore& store, std::string_view address);

}  // namespace velmora
