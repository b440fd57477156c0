#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Putting a chapter list in reading order when a site repeats chapters.
namespace velmora {

// The positions of `addresses` to keep, in order, so that each address is
// kept once. Many sites show their newest chapters in a block above or
// below the full list, in either order: a block above (a run at the top
// whose addresses all come again and are the last ones of the list) is
// dropped; any other repeat keeps its first occurrence, which drops a block
// below. A list that is two equal copies keeps the first.
std::vector<std::size_t> PositionsWithoutRepeats(const std::vector<std::string>& addresses);

} // namespace velmora
