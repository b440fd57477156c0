#include "rules/RuleStore.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/FolderLock.h"
#include "rules/DefaultRules.h"
#include "rules/RulesXml.h"
#include "web/Url.h"

#include <algorithm>
#include <array>
#include <optional>

namespace velmora {
namespace {

// The stored text of an attribute field.
std::string storedText(const SiteRule& rule, const RuleAttribute& attribute)
{
    if (attribute.text != nullptr) {
        return rule.*attribute.text;
    }
    return std::string(rule.pageCapture ? kStoredTrue : kStoredFalse);
}

void setStored(SiteRule& rule, const RuleAttribute& attribute, const std::string& value)
{
    if (attribute.text != nullptr) {
        rule.*attribute.text = value;
    } else {
        rule.pageCapture = value == kStoredTrue;
    }
}

std::optional<XmlElement> load(const std::filesystem::path& file)
{
    const std::optional<std::string> bytes = readFileBytes(file);
    if (!bytes) {
        return std::nullopt;
    }
    std::optional<XmlElement> root = parseXmlDocument(*bytes);
    if (!root || root->name != rulesRootName()) {
        return std::nullopt;
    }
    return root;
}

RuleChange save(const std::filesystem::path& file, const XmlElement& root)
{
    return {replaceFileContent(file, writeXmlDocument(root)) ? RuleChange::saved : RuleChange::notSaved};
}

// Runs `change` on the loaded document and saves it, all under the folder's
// lock. `change` returns false when there is nothing to do.
template <typename Change>
RuleChange changeRules(const std::filesystem::path& file, Change change)
{
    // Where the folder cannot be locked (some network file systems), the
    // change is still made, as it would be without the lock.
    const FolderLock lock = FolderLock::lock(file.parent_path());
    std::optional<XmlElement> root = load(file);
    if (!root) {
        return {RuleChange::unreadable};
    }
    if (!change(*root)) {
        return {RuleChange::refused};
    }
    return save(file, *root);
}

// The rule element at a 1-based position, or null.
XmlElement* ruleAt(XmlElement& root, int position)
{
    if (position < 1 || static_cast<std::size_t>(position) > root.children.size()) {
        return nullptr;
    }
    return &root.children[static_cast<std::size_t>(position) - 1];
}

}  // namespace

const std::string& ruleAttributeName(RuleField field)
{
    static const std::array<std::string, std::size(kRuleAttributes)> names = [] {
        std::array<std::string, std::size(kRuleAttributes)> out;
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = encoding::toGbk(kRuleAttributes[i].name);
        }
        return out;
    }();
    return names[static_cast<std::size_t>(field) - 1];
}

const std::string& rulesRootName()
{
    static const std::string name = encoding::toGbk("小说站点");
    return name;
}

RuleStore::RuleStore() : file_(u8"下载配置.xml") {}

RuleStore::RuleStore(std::filesystem::path file) : file_(std::move(file)) {}

void RuleStore::ensureRulesFile() const
{
    const FolderLock lock = FolderLock::lock(file_.parent_path());
    std::error_code error;
    const auto status = std::filesystem::symlink_status(file_, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        replaceFileContent(file_, DefaultRulesText());
    }
}

std::vector<std::string> RuleStore::ruleNames() const
{
    std::vector<std::string> names;
    if (const std::optional<XmlElement> root = load(file_)) {
        for (const XmlElement& rule : root->children) {
            names.push_back(rule.name);
        }
    }
    return names;
}

SiteRule RuleStore::readRule(int position, RuleFields fields) const
{
    SiteRule rule;
    std::optional<XmlElement> root = load(file_);
    const XmlElement* element = root ? ruleAt(*root, position) : nullptr;
    if (element == nullptr) {
        return rule;
    }
    if (fields.contains(RuleField::name)) {
        rule.name = element->name;
    }
    for (const RuleAttribute& attribute : kRuleAttributes) {
        const XmlAttribute* attr = element->attribute(ruleAttributeName(attribute.field));
        if (fields.contains(attribute.field) && attr != nullptr) {
            setStored(rule, attribute, attr->value);
        }
    }
    if (fields.contains(RuleField::options)) {
        rule.options = readRuleOptions(*element);
    }
    return rule;
}

std::vector<std::string> RuleStore::siteHosts() const
{
    std::vector<std::string> hosts;
    if (const std::optional<XmlElement> root = load(file_)) {
        const std::string& addressName = ruleAttributeName(RuleField::siteAddress);
        for (const XmlElement& rule : root->children) {
            const XmlAttribute* address = rule.attribute(addressName);
            hosts.push_back(UrlHost(address != nullptr ? address->value : std::string()));
        }
    }
    return hosts;
}

int RuleStore::findRuleByHost(std::string_view host) const
{
    const std::vector<std::string> hosts = siteHosts();
    const auto it = std::find(hosts.begin(), hosts.end(), host);
    return it == hosts.end() ? -1 : static_cast<int>(it - hosts.begin());
}

RuleChange RuleStore::appendRule(const SiteRule& rule) const
{
    if (!isUsableXmlName(rule.name)) {
        return {RuleChange::refused};
    }
    return changeRules(file_, [&](XmlElement& root) {
        // The attributes go on the element built here, not on one looked up
        // by name, which would be an earlier rule of the same name.
        XmlElement element;
        element.name = rule.name;
        for (const RuleAttribute& attribute : kRuleAttributes) {
            element.attributes.push_back({ruleAttributeName(attribute.field), storedText(rule, attribute)});
        }
        writeRuleOptions(element, rule.options);
        root.children.push_back(std::move(element));
        return true;
    });
}

RuleChange RuleStore::updateRule(int position, RuleFields fields, const SiteRule& values) const
{
    const bool rename = fields.contains(RuleField::name);
    if (rename && !isUsableXmlName(values.name)) {
        return {RuleChange::refused};
    }
    return changeRules(file_, [&](XmlElement& root) {
        XmlElement* element = ruleAt(root, position);
        if (element == nullptr) {
            return false;
        }
        if (rename) {
            element->name = values.name;
        }
        for (const RuleAttribute& attribute : kRuleAttributes) {
            XmlAttribute* attr = element->attribute(ruleAttributeName(attribute.field));
            if (fields.contains(attribute.field) && attr != nullptr) {
                attr->value = storedText(values, attribute);
            }
        }
        if (fields.contains(RuleField::options)) {
            writeRuleOptions(*element, values.options);
        }
        return true;
    });
}

RuleChange RuleStore::deleteRule(int position) const
{
    return changeRules(file_, [&](XmlElement& root) {
        if (ruleAt(root, position) == nullptr) {
            return false;
        }
        root.children.erase(root.children.begin() + (position - 1));
        return true;
    });
}

int lookupRuleIndex(const RuleStore& store, std::string_view address)
{
    return store.findRuleByHost(UrlHost(address));
}

}  // namespace velmora
