#pragma once

#include <string>
#include <string_view>

namespace velmora {

// `utf8` as a JSON string, quotes included: '"', '\\' and every control
// character escaped, everything else kept as UTF-8; a byte that starts no
// well-formed UTF-8 character (an overlong form, a surrogate, a stray
// continuation byte) comes out as U+FFFD, so the result is always valid.
std::string jsonString(std::string_view utf8);

}  // namespace velmora
