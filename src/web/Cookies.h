#pragma once

#include <string>
#include <string_view>

// Cookie texts are name=value items joined by "; ". Items and names compare
// by exact bytes.
namespace velmora {

// The item's name: the text before its first "=", or the whole item, trimmed
// of ASCII and full-width spaces.
std::string CookieName(std::string_view item);

// The text cut at every separator (an empty last piece dropped), repeated
// pieces dropped, joined again with the separator.
std::string DedupeJoin(std::string_view text, std::string_view separator);

// Merges the received cookies into the jar: received items replace jar items
// of the same name, "name=deleted" items remove theirs, and jar items that
// were not received follow the received ones. Both arguments lose their
// spaces; the jar becomes the merged text, which is also returned.
std::string MergeCookies(std::string& jar, std::string& received);

}  // namespace velmora
