#include "cli/RuleCommands.h"

#include "cli/Interrupt.h"
#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "job/RuleSuggest.h"
#include "job/RuleTest.h"
#include "rules/RuleSharing.h"
#include "rules/RuleStore.h"

#include <algorithm>
#include <filesystem>

namespace velmora::cli {
namespace {

namespace fs = std::filesystem;
using encoding::gbkToUtf8;
using encoding::toGbk;

constexpr int kFailed = 1;
constexpr int kRefusedStatus = 2;

struct RuleArguments {
    std::vector<std::string> words;  // the non-option words after the command
    std::optional<std::string> rule;
    std::optional<fs::path> dir;
    int row = 1;
    bool json = false;
    bool add = false;
    bool all = false;
};

int refuse(std::FILE* err, const std::string& message)
{
    std::fprintf(err, "velmora-cli: %s\n", message.c_str());
    return kRefusedStatus;
}

void print(std::FILE* out, const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

fs::path pathFromUtf8(const std::string& utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// The options these commands take; false, after a message, on a usage error.
bool parse(const std::vector<std::string>& words, std::size_t from, RuleArguments& a, std::string& error)
{
    bool optionsEnded = false;
    for (std::size_t i = from; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            a.words.push_back(word);
            continue;
        }
        const auto value = [&]() -> std::optional<std::string> {
            return i + 1 < words.size() ? std::optional<std::string>(words[++i]) : std::nullopt;
        };
        if (word == "--") {
            optionsEnded = true;
        } else if (word == "--json") {
            a.json = true;
        } else if (word == "--add") {
            a.add = true;
        } else if (word == "--all") {
            a.all = true;
        } else if (word == "--rule" || word == "--dir" || word == "--row") {
            const std::optional<std::string> v = value();
            if (!v) {
                error = word + " needs a value";
                return false;
            }
            if (word == "--rule") {
                a.rule = toGbk(*v);
            } else if (word == "--dir") {
                a.dir = pathFromUtf8(*v);
            } else {
                a.row = std::atoi(v->c_str());
                if (a.row < 1) {
                    error = "--row needs a row number from 1";
                    return false;
                }
            }
        } else {
            error = "unknown option \"" + word + "\"";
            return false;
        }
    }
    return true;
}

// The rules file of --dir or the current folder, with the default rules
// written when there is none; files named on the command line stay relative
// to the folder the command was started in.
std::optional<RuleStore> openRules(const RuleArguments& a, std::FILE* err)
{
    fs::path folder = fs::current_path();
    if (a.dir) {
        std::error_code ec;
        folder = fs::absolute(*a.dir, ec);
        fs::create_directories(folder, ec);
        if (ec) {
            refuse(err, "cannot work in " + a.dir->string() + " (" + ec.message() + "): choose another --dir");
            return std::nullopt;
        }
    }
    RuleStore rules(folder / fs::path(u8"下载配置.xml"));
    rules.ensureRulesFile();
    if (rules.ruleNames().empty()) {
        refuse(err, "the rules file " + rules.file().string()
                        + " cannot be read or holds no rules: repair it, or move it away to have the default rules "
                          "written again");
        return std::nullopt;
    }
    return rules;
}

int positionOfName(const RuleStore& rules, const std::string& name)
{
    const std::vector<std::string> names = rules.ruleNames();
    const auto it = std::find(names.begin(), names.end(), name);
    return it == names.end() ? 0 : static_cast<int>(it - names.begin()) + 1;
}

int runTest(const RuleArguments& a, std::FILE* out, std::FILE* err)
{
    if (a.words.size() != 1) {
        return refuse(err, "usage: velmora-cli test URL [--rule NAME] [--row N] [--json]");
    }
    const std::optional<RuleStore> rules = openRules(a, err);
    if (!rules) {
        return kRefusedStatus;
    }
    const std::string address = toGbk(a.words[0]);
    const int position = a.rule ? positionOfName(*rules, *a.rule) : lookupRuleIndex(*rules, address) + 1;
    if (position == 0) {
        return refuse(err, a.rule ? "no rule named " + gbkToUtf8(*a.rule) + " in " + rules->file().string()
                                  : "no rule for this site in " + rules->file().string()
                                        + ": name one with --rule, or have one proposed with velmora-cli suggest");
    }
    const SiteRule rule = rules->readRule(position);
    const RuleUnderTest tested{{rule.novelNamePattern, rule.authorPattern, rule.chapterListPattern},
                               {rule.contentLeftMarker, rule.contentRightMarker},
                               rule.pageCapture,
                               rule.options};
    if (rule.pageCapture && !a.json) {
        print(err, "velmora-cli: the rule " + gbkToUtf8(rule.name)
                       + " reads chapters through the browser; here the chapter page is read over HTTP, so text a "
                         "script builds is missing\n");
    }
    const RuleTestReport report = testRule(address, tested, a.row, &interruptFlag());
    if (report.cancelled) {
        return kInterruptedStatus;
    }
    print(out, a.json ? reportJson(report) + "\n" : "规则: " + gbkToUtf8(rule.name) + "\n" + reportText(report));
    return report.passed() ? 0 : kFailed;
}

int runSuggest(const RuleArguments& a, std::FILE* out, std::FILE* err)
{
    if (a.words.size() != 1) {
        return refuse(err, "usage: velmora-cli suggest URL [--json] [--add]");
    }
    std::optional<RuleStore> rules;
    if (a.add && !(rules = openRules(a, err))) {
        return kRefusedStatus;
    }
    const std::string address = toGbk(a.words[0]);
    const RuleSuggestion suggestion = suggestRule(address, &interruptFlag());
    const RuleTestReport report = testRule(address, suggestion.rule, a.row, &interruptFlag());
    if (interrupted()) {
        return kInterruptedStatus;
    }
    const bool usable = suggestion.complete() && report.passed();
    std::string added;
    if (a.add && usable) {
        SiteRule rule;
        rule.name = suggestion.name;
        rule.siteAddress = suggestion.siteAddress;
        rule.chapterListPattern = suggestion.rule.patterns.chapterList;
        rule.novelNamePattern = suggestion.rule.patterns.novelName;
        rule.authorPattern = suggestion.rule.patterns.author;
        rule.contentLeftMarker = suggestion.rule.markers.left;
        rule.contentRightMarker = suggestion.rule.markers.right;
        const ShareResult result = addRuleUnderFreeName(*rules, rule);
        if (!result.ok) {
            return refuse(err, result.message);
        }
        added = result.names.front();
    }
    if (a.json) {
        print(out, "{\"suggestion\":" + suggestionJson(suggestion) + ",\"report\":" + reportJson(report)
                       + ",\"added\":" + (added.empty() ? std::string("null") : gbkJsonString(added)) + "}\n");
    } else {
        std::string text = "建议的规则\n" + suggestionText(suggestion) + "\n试用结果\n" + reportText(report);
        if (!added.empty()) {
            text += "已加入规则“" + gbkToUtf8(added) + "”（" + rules->file().string() + "）\n";
        }
        print(out, text);
    }
    if (a.add && !usable) {
        print(err, "velmora-cli: the suggestion is incomplete or fails its test, so it was not added: write the "
                   "failing part by hand in the window program's rule settings\n");
    }
    return usable ? 0 : kFailed;
}

int runRulesShare(const RuleArguments& a, std::FILE* out, std::FILE* err)
{
    const std::string action = a.words.empty() ? "" : a.words[0];
    const bool exporting = action == "export";
    const std::size_t expected = exporting && !a.all ? 3 : 2;
    if (a.words.size() != expected) {
        return refuse(err, "usage: velmora-cli rules export NAME|--all FILE, or velmora-cli rules import FILE");
    }
    const fs::path file = fs::absolute(pathFromUtf8(a.words.back()));
    const std::optional<RuleStore> rules = openRules(a, err);
    if (!rules) {
        return kRefusedStatus;
    }
    ShareResult result;
    if (exporting) {
        std::vector<int> positions;
        if (!a.all) {
            const int position = positionOfName(*rules, toGbk(a.words[1]));
            if (position == 0) {
                return refuse(err, "no rule named " + a.words[1] + " in " + rules->file().string()
                                       + ": see velmora-cli rules for the names");
            }
            positions.push_back(position);
        }
        result = exportRules(*rules, positions, file);
    } else {
        result = importRules(*rules, file);
    }
    if (!result.ok) {
        return refuse(err, result.message);
    }
    std::string text = result.message + "\n";
    for (const std::string& name : result.names) {
        text += "  " + gbkToUtf8(name) + "\n";
    }
    print(out, text);
    return 0;
}

}  // namespace

std::optional<int> runRuleCommand(const std::vector<std::string>& words, std::FILE* out, std::FILE* err)
{
    if (words.empty()) {
        return std::nullopt;
    }
    const std::string& command = words[0];
    const bool share = command == "rules" && words.size() > 1 && (words[1] == "export" || words[1] == "import");
    if (command != "test" && command != "suggest" && !share) {
        return std::nullopt;
    }
    RuleArguments a;
    std::string error;
    if (!parse(words, 1, a, error)) {
        return refuse(err, error + " (see velmora-cli --help)");
    }
    if (command == "test") {
        return runTest(a, out, err);
    }
    if (command == "suggest") {
        return runSuggest(a, out, err);
    }
    return runRulesShare(a, out, err);
}

const char* ruleCommandsHelp()
{
    return "\nRule commands:\n"
           "  velmora-cli test URL [--rule NAME] [--row N] [--json]\n"
           "      test the site's rule (or NAME) on URL part by part; exits 1 when a part fails\n"
           "  velmora-cli suggest URL [--json] [--add]\n"
           "      propose a rule from the site's pages and test it; --add appends it to the rules file\n"
           "  velmora-cli rules export NAME|--all FILE\n"
           "      write one rule, or all, to FILE in the rules file's own format\n"
           "  velmora-cli rules import FILE\n"
           "      append FILE's rules; a name already present gets \"1\" appended\n"
           "  --dir DIR works in DIR, where the rules file is, as for the other commands.\n";
}

}  // namespace velmora::cli
