#include "job/ChapterText.h"

#include "core/Text.h"

#include <array>
#include <utility>

namespace velmora {

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                        bool ignoreCase)
{
    return text::between(text, ResolveQuotePlaceholder(left), ResolveQuotePlaceholder(right), start, ignoreCase);
}

std::string CleanChapterText(std::string_view text)
{
    // Applied in this order, each as one pass over the result of the one
    // before; the last two run once each, so long runs of blank lines are
    // reduced but not always to a single line break.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 16> kReplacements{{
        {"&lsquo;", "\xA1\xAE"},
        {"&rsquo;", "\xA1\xAF"},
        {"&mdash;", "\xA1\xAA"},
        {"&hellip;", "\xA1\xAD"},
        {"&ldquo;", "\xA1\xB0"},
        {"&rdquo;", "\xA1\xB1"},
        {"&nbsp;", " "},
        {"<p>", "  "},
        {"</p>", "\r\n"},
        {"<br />", "\r\n"},
        {"<br/>", "\r\n"},
        {"????", "    "},
        {"</br>", "\r\n"},
        {"&quot;", "\""},
        {"\r\n\r\n\r\n", "\r\n"},
        {"\r\n\r\n", "\r\n"},
    }};
    std::string out(text);
    for (const auto& [from, to] : kReplacements) {
        out = text::replaceAll(out, from, to);
    }
    return out;
}

} // namespace velmora
