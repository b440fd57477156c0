#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Whole-file reads and writes of byte strings.
namespace velmora {

// The bytes of a regular file; nothing when it is missing, not a regular
// file, or cannot be read to its end.
std::optional<std::string> readFileBytes(const std::filesystem::path& file);

// Makes `file` hold exactly `bytes`, never part of them: the bytes go to an
// unnamed file in the same folder, reach the disk, and the file is then
// named `file` when nothing stood there, or else given a temporary name
// beside the file it replaces (".<name>.XXXXXX.tmp", the name part shortened
// so that it fits the file system's 255-byte limit) and renamed over it
// (over the target when `file` is a symbolic link), keeping the old file's
// permission bits. Where unnamed files cannot be made or named, the
// temporary file is created by that name instead, exclusively and never
// through a symbolic link. Two writers of the same file never share a
// temporary file, and nothing that already stands in the folder is touched.
// On any failure the old file is left as it was, no temporary file is left
// behind, and the result is false.
//
// With `Durability::later` the bytes and the rename are not forced to the
// disk one file at a time: a caller writing many files this way calls
// syncFileSystem once afterwards (until then a crash may lose whole files,
// never leave part of one in place of the old).
enum class Durability { now, later };
bool replaceFileContent(const std::filesystem::path& file, std::string_view bytes,
                        Durability durability = Durability::now);

// Whether replaceFileContent starts with an unnamed file (the default) or
// always takes the named temporary file; for tests of both ways.
void setUnnamedTemporaryFiles(bool use);

// Forces everything written to the file system that holds `path` to the disk.
void syncFileSystem(const std::filesystem::path& path);

}  // namespace velmora
