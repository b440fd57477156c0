#pragma once

#include "job/ChapterList.h"
#include "rules/RuleOptions.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Putting a chapter list in reading order when a site repeats chapters.
namespace velmora {

// The positions of `addresses` to keep, in order, so that each address is
// kept once. Many sites show their newest chapters in a block above or
// below the full list, in either order: a block above (a run at the top
// whose addresses all come again and are the last ones of the list) is
// dropped; any other repeat keeps its first occurrence, which drops a block
// below. A list that is two equal copies keeps the first.
std::vector<std::size_t> positionsWithoutRepeats(const std::vector<std::string>& addresses);

// The chapter links read from one list page, and the address the page finally
// came from (after redirects), against which a browser resolves them.
struct ListPageLinks {
    std::string finalAddress;
    std::vector<ChapterLink> links;
};

// A chapter list's rows as the window lists them and the download asks for them.
struct ListRows {
    std::string baseAddress;        // put in front of each row's address; empty when rows hold whole addresses
    std::vector<ChapterLink> rows;  // in reading order
    std::size_t repeated = 0;       // links whose address an earlier link already has
    std::size_t dropped = 0;        // repeated links left out (none when the rule keeps repeats)
    bool resolved = false;          // rows hold whole addresses resolved against each page's final address
    std::string note;               // UTF-8: repeats dropped, addresses resolved; empty when neither
};

// Turns the links of a novel's list pages, in page order, into rows. `prefix`
// is the slash-counting prefix (RelativeBaseAddress of the typed list address
// and the first link). Rows keep prefix and captured address when, for every
// link, they give the address a browser opens from its page's final address;
// otherwise the prefix is empty and rows hold those browser addresses (a link
// leading to no http(s) address stays as captured). The list is reversed when
// the rule says the site lists newest first, then repeated addresses are
// dropped (positionsWithoutRepeats) unless the rule keeps them.
ListRows rowsFromListPages(std::vector<ListPageLinks> pages, std::string prefix, const RuleOptions& options);

}  // namespace velmora
