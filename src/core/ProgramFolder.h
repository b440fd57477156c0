#pragma once

#include <filesystem>

namespace velmora {

// The folder of the running executable.
std::filesystem::path programFolder();

// The folder the program works in: `preferred` when files can be written
// there, otherwise the user's data folder ($XDG_DATA_HOME/velmora, or
// ~/.local/share/velmora), created when missing. Empty when neither works.
std::filesystem::path workingFolderFor(const std::filesystem::path& preferred);

// Makes workingFolderFor(programFolder()) the working directory and returns
// it; empty when that failed and the working directory is unchanged.
std::filesystem::path enterProgramFolder();

}  // namespace velmora
