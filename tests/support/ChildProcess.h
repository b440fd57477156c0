#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace velmora::test {

// Starts `words` (the program first; looked up in PATH when it holds no
// slash) in `folder`, with standard input from /dev/null and standard output
// and error written to `out` and `err` (/dev/null when empty). The process id,
// or -1 when it could not be started. The caller waits for it.
pid_t startChild(const std::vector<std::string>& words, const std::filesystem::path& folder,
                 const std::filesystem::path& out = {}, const std::filesystem::path& err = {});

}  // namespace velmora::test
