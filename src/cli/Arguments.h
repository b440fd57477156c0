#pragma once

#include "cli/RowSelection.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// The command line of velmora-cli, parsed: one command and its options, in
// any order, "--" ending the options. Nothing here touches the network or the
// files named; a usage error is a one-line message for people.
namespace velmora::cli {

enum class Command { help, version, get, list, rules, update };

struct Arguments {
    Command command = Command::help;
    std::vector<std::string> addresses;        // as typed (UTF-8), in order
    std::optional<std::string> addressFile;    // -i FILE; "-" is standard input
    std::optional<std::filesystem::path> dir;  // --dir DIR; else the current folder
    RowSelection rows;                         // --rows; every row when empty
    std::optional<std::string> rule;           // --rule NAME (UTF-8): this rule instead of the address's
    bool merge = true;                         // cleared by --no-merge
    bool json = false;                         // --json
    bool resume = false;                       // --continue
    bool fresh = false;                        // --fresh: the job record is not consulted
    bool epub = false;                         // --epub
};

struct ParsedArguments {
    std::optional<Arguments> arguments;  // set when the command line is usable
    std::string error;                   // otherwise why not
};

ParsedArguments parseArguments(const std::vector<std::string>& words);

// Reads the addresses of an address file: one a line; blank lines and lines
// whose first non-blank character is "#" are skipped; spaces around an
// address and a trailing CR are dropped.
std::vector<std::string> addressesFromText(std::string_view text);

// The text of `velmora-cli --help`.
const char* helpText();

}  // namespace velmora::cli
