#pragma once

#include "core/Text.h"

#include <string>
#include <string_view>

namespace velmora {

// "#引号" in GBK. In a content marker, and in a pattern when asked, it stands
// for one double quote, so a rule can be written without one.
inline constexpr std::string_view QuotePlaceholder = "#\xD2\xFD\xBA\xC5";

// `text` with every QuotePlaceholder made a double quote.
inline std::string resolveQuotePlaceholder(std::string_view text)
{
    return text::replaceAll(text, QuotePlaceholder, "\"");
}

}  // namespace velmora
