#include "web/Cookies.h"

#include "core/Text.h"

#include <algorithm>
#include <vector>

namespace velmora {

std::string CookieName(std::string_view item)
{
    const int eq = text::find(item, "=");
    return text::trimSpaces(eq == -1 ? item : item.substr(0, static_cast<std::size_t>(eq) - 1));
}

std::string DedupeJoin(std::string_view text, std::string_view separator)
{
    std::vector<std::string> pieces = text::split(text, separator);
    if (!pieces.empty() && pieces.back().empty()) {
        pieces.pop_back();
    }
    std::vector<std::string_view> kept;
    std::string out;
    for (const std::string& piece : pieces) {
        if (std::find(kept.begin(), kept.end(), piece) == kept.end()) {
            kept.push_back(piece);
            out.append(piece).append(separator);
        }
    }
    out.resize(out.size() - std::min(out.size(), separator.size()));
    return out;
}

std::string MergeCookies(std::string& jar, std::string& received)
{
    jar = text::removeSpaces(jar);
    received = text::removeSpaces(received);
    std::vector<std::string> merged = text::split(received, ";");
    for (const std::string& item : text::split(jar, ";")) {
        const std::string name = CookieName(item);
        const bool replaced =
            std::any_of(merged.begin(), merged.end(), [&](const std::string& m) { return CookieName(m) == name; });
        if (!replaced) {
            merged.push_back(item);
        }
    }
    std::string joined;
    for (const std::string& item : merged) {
        const std::string_view tail =
            std::string_view(item).substr(item.size() - std::min<std::size_t>(item.size(), 8));
        if (tail != "=deleted") {
            joined.append(item).append("; ");
        }
    }
    joined.resize(joined.size() - std::min<std::size_t>(joined.size(), 2));
    jar = DedupeJoin(joined, "; ");
    return jar;
}

}  // namespace velmora
