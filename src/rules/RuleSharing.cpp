#include "rules/RuleSharing.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "rules/RulesXml.h"

#include <algorithm>
#include <optional>
#include <set>

namespace velmora {
namespace {

const std::string& rootName()
{
    static const std::string name = encoding::toGbk("小说站点");
    return name;
}

const std::string& addressAttribute()
{
    static const std::string name = encoding::toGbk("网址");
    return name;
}

std::string pathText(const std::filesystem::path& file)
{
    return reinterpret_cast<const char*>(file.u8string().c_str());
}

// The rules document in `file`, or why it is not one (UTF-8).
std::optional<XmlElement> loadRules(const std::filesystem::path& file, std::string& why)
{
    const std::optional<std::string> bytes = readFileBytes(file);
    if (!bytes) {
        why = "无法读取文件 " + pathText(file);
        return std::nullopt;
    }
    std::optional<XmlElement> root = parseXmlDocument(*bytes);
    if (!root) {
        why = pathText(file) + " 不是格式正确的 XML 文件";
        return std::nullopt;
    }
    if (root->name != rootName()) {
        why = pathText(file) + " 不是规则文件（根元素应为“小说站点”）";
        return std::nullopt;
    }
    return root;
}

}  // namespace

ShareResult exportRules(const RuleStore& store, const std::vector<int>& positions, const std::filesystem::path& file)
{
    ShareResult result;
    const std::optional<XmlElement> rules = loadRules(store.file(), result.message);
    if (!rules) {
        return result;
    }
    XmlElement root;
    root.name = rules->name;
    if (positions.empty()) {
        root.children = rules->children;
    }
    for (const int position : positions) {
        if (position < 1 || static_cast<std::size_t>(position) > rules->children.size()) {
            result.message = "没有第 " + std::to_string(position) + " 条规则";
            return result;
        }
        root.children.push_back(rules->children[static_cast<std::size_t>(position) - 1]);
    }
    if (root.children.empty()) {
        result.message = "没有可导出的规则";
        return result;
    }
    if (!replaceFileContent(file, writeXmlDocument(root))) {
        result.message = "无法写入文件 " + pathText(file);
        return result;
    }
    for (const XmlElement& rule : root.children) {
        result.names.push_back(rule.name);
    }
    result.ok = true;
    result.message = "已导出 " + std::to_string(root.children.size()) + " 条规则到 " + pathText(file);
    return result;
}

ShareResult importRules(const RuleStore& store, const std::filesystem::path& file)
{
    ShareResult result;
    std::optional<XmlElement> incoming = loadRules(file, result.message);
    if (!incoming) {
        result.message = "导入被拒绝: " + result.message;
        return result;
    }
    if (incoming->children.empty()) {
        result.message = "导入被拒绝: " + pathText(file) + " 中没有规则";
        return result;
    }
    for (const XmlElement& rule : incoming->children) {
        // A rule is an element with its address attribute and nothing inside.
        if (rule.attribute(addressAttribute()) == nullptr || !rule.children.empty() || !rule.text.empty()) {
            result.message = "导入被拒绝: " + pathText(file) + " 中的“" + encoding::gbkToUtf8(rule.name)
                             + "”不是规则（缺少网址或含有子元素）";
            return result;
        }
    }
    std::string why;
    std::optional<XmlElement> rules = loadRules(store.file(), why);
    if (!rules) {
        result.message = "导入被拒绝: 规则文件 " + why;
        return result;
    }
    std::set<std::string> taken;
    for (const XmlElement& rule : rules->children) {
        taken.insert(rule.name);
    }
    for (XmlElement& rule : incoming->children) {
        while (taken.count(rule.name) != 0) {
            rule.name += "1";
        }
        taken.insert(rule.name);
        result.names.push_back(rule.name);
        rules->children.push_back(std::move(rule));
    }
    if (!replaceFileContent(store.file(), writeXmlDocument(*rules))) {
        result.names.clear();
        result.message = "无法写入规则文件 " + pathText(store.file());
        return result;
    }
    result.ok = true;
    result.message = "已导入 " + std::to_string(result.names.size()) + " 条规则";
    return result;
}

ShareResult addRuleUnderFreeName(const RuleStore& store, SiteRule rule)
{
    ShareResult result;
    const std::vector<std::string> names = store.ruleNames();
    while (std::find(names.begin(), names.end(), rule.name) != names.end()) {
        rule.name += "1";
    }
    if (!store.appendRule(rule)) {
        result.message = isUsableXmlName(rule.name) ? "无法写入规则文件 " + pathText(store.file())
                                                    : "规则名“" + encoding::gbkToUtf8(rule.name) + "”不能用作规则名";
        return result;
    }
    result.ok = true;
    result.names.push_back(rule.name);
    result.message = "已加入规则“" + encoding::gbkToUtf8(rule.name) + "”";
    return result;
}

}  // namespace velmora
