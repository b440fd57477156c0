#pragma once

#include "rules/RuleStore.h"

#include <filesystem>
#include <string>
#include <vector>

// Passing rules from one user to another as a file in the rules file's own
// format and layout: a rules file that holds only the rules passed on.
namespace velmora {

struct ShareResult {
    bool ok = false;
    std::string message;             // UTF-8, for people: what was done, or why nothing was
    std::vector<std::string> names;  // GBK: the rules exported, or imported under these names
};

// Writes the rules at the 1-based `positions` of the store (all of them when
// empty) to `file`, byte for byte as the rules file would hold them alone.
// Refused when the rules file cannot be read or a position is missing.
ShareResult exportRules(const RuleStore& store, const std::vector<int>& positions, const std::filesystem::path& file);

// Appends the rules of `file` after the store's own, in their order. A name
// already present (or taken by a rule imported before it) gets "1" appended
// until it is free. A file that is not a rules file with at least one rule is
// refused and nothing is written; so is a store whose file cannot be read.
ShareResult importRules(const RuleStore& store, const std::filesystem::path& file);

// Appends `rule` as a new rule (RuleStore::appendRule), under its name or,
// when that is taken, with "1" appended until it is free. `names` receives
// the name used.
ShareResult addRuleUnderFreeName(const RuleStore& store, SiteRule rule);

}  // namespace velmora
