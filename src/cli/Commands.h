#pragma once

#include "cli/Arguments.h"

#include <cstdio>

// The commands of velmora-cli. Each returns the process's exit status:
// 0 done, 1 chapters failed, 2 refused (with a one-line message on standard
// error saying what to do), 130 interrupted.
namespace velmora::cli {

inline constexpr int kChaptersFailed = 1;
inline constexpr int kRefused = 2;

// Downloads the novels of the addresses, one after another.
int runGet(const Arguments& arguments, std::FILE* out, std::FILE* err);
// Follows every novel with a job record in the working folder: its new
// chapters, the merge, a line a novel.
int runUpdate(const Arguments& arguments, std::FILE* out, std::FILE* err);
// Prints the novel's name, author and rows.
int runList(const Arguments& arguments, std::FILE* out, std::FILE* err);
// Prints the site rules.
int runRules(const Arguments& arguments, std::FILE* out, std::FILE* err);

}  // namespace velmora::cli
