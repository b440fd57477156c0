#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

// Debian's EPUB validator, for the tests of generated books.
namespace velmora::test {

// The command that runs epubcheck, or nothing when it is not installed.
std::optional<std::string> epubcheckCommand();

// Runs epubcheck on `file`; its exit status and everything it printed.
std::pair<int, std::string> runEpubcheck(const std::string& command, const std::filesystem::path& file);

}  // namespace velmora::test
