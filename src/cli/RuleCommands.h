#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

// The rule commands of velmora-cli: the test bench, suggested rules and rule
// sharing, for the terminal and for scripts.
//
//   velmora-cli test URL [--rule NAME] [--row N] [--json] [--dir DIR]
//   velmora-cli suggest URL [--json] [--add] [--dir DIR]
//   velmora-cli rules export NAME|--all FILE [--dir DIR]
//   velmora-cli rules import FILE [--dir DIR]
namespace velmora::cli {

// Runs the command of `words` (the arguments after the program's name) when
// it is one of the above, and returns its exit status: 0 done (the rule
// passed, the suggestion is complete and passed), 1 the rule yields no
// chapters, an empty chapter text or another failing part (the suggestion is
// incomplete or fails), 2 refused, 130 interrupted. Nothing when the words
// are another command.
std::optional<int> runRuleCommand(const std::vector<std::string>& words, std::FILE* out, std::FILE* err);

// The help lines of these commands.
const char* ruleCommandsHelp();

}  // namespace velmora::cli
