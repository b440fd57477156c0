#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// The whole content of a file; nothing when it cannot be read.
std::optional<std::string> readWholeFile(const std::filesystem::path& path);

// Creates or replaces `path` with `bytes`; false when any step failed.
bool writeWholeFile(const std::filesystem::path& path, std::string_view bytes);

// Writes `bytes` to a temporary file beside `path`, flushes it to disk and
// renames it over `path`, so readers see either the old or the new content,
// never a part. On failure the old file is left as it was.
bool replaceFileAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace velmora
