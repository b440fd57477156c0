#include "job/ChapterText.h"

#include "core/Encoding.h"
#include "core/Text.h"
#include "job/HtmlEntities.h"

#include <array>
#include <optional>
#include <utility>

namespace velmora {
namespace {

constexpr std::size_t kNpos = std::string_view::npos;

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Copies the character at `i` (one byte, or a lead byte with the next) and
// moves past it, so no trail byte is ever read as mark-up.
void copyCharacter(std::string_view s, std::size_t& i, std::string& out)
{
    const std::size_t len = text::charLength(s, i);
    out.append(s.substr(i, len));
    i += len;
}

// The ">" that ends the tag opened at `lt`, skipping attribute values in
// quotes; npos when the tag never ends.
std::size_t tagEnd(std::string_view s, std::size_t lt)
{
    char previous = 0;
    for (std::size_t i = lt + 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '>') {
            return i;
        }
        if ((c == '"' || c == '\'') && previous == '=') {
            const std::size_t close = s.find(c, i + 1);
            if (close == kNpos) {
                return kNpos;
            }
            i = close;
        }
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            previous = c;
        }
    }
    return kNpos;
}

// Where the text goes on after the block whose start tag ends at `end`:
// after its end tag "</name ...>", or the end of the text when it has none.
std::size_t afterBlock(std::string_view s, std::size_t end, std::string_view name)
{
    const int close = text::find(s, "</" + std::string(name), static_cast<int>(end) + 2, true);
    if (close == -1) {
        return s.size();
    }
    const std::size_t closeEnd = tagEnd(s, static_cast<std::size_t>(close) - 1);
    return closeEnd == kNpos ? s.size() : closeEnd + 1;
}

// Tags and comments out; <br> and <p> forms become line breaks.
std::string removeTags(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] != '<') {
            copyCharacter(s, i, out);
            continue;
        }
        if (s.substr(i, 4) == "<!--") {
            const std::size_t end = s.find("-->", i + 4);
            i = end == kNpos ? s.size() : end + 3;
            continue;
        }
        const bool closing = i + 1 < s.size() && s[i + 1] == '/';
        const std::size_t nameStart = i + (closing ? 2 : 1);
        const bool special = !closing && nameStart < s.size() && (s[nameStart] == '!' || s[nameStart] == '?');
        const bool opensTag = nameStart < s.size() && (isAsciiLetter(s[nameStart]) || special);
        const std::size_t end = opensTag ? tagEnd(s, i) : kNpos;
        if (end == kNpos) {
            out += s[i++];  // a "<" of the text itself
            continue;
        }
        std::size_t nameEnd = nameStart;
        while (nameEnd < end && (isAsciiLetter(s[nameEnd]) || isAsciiDigit(s[nameEnd]))) {
            ++nameEnd;
        }
        const std::string name = text::toLowerAscii(s.substr(nameStart, nameEnd - nameStart));
        if (!closing && (name == "script" || name == "style")) {
            i = afterBlock(s, end, name);
            continue;
        }
        if (name == "br" || name == "p") {
            out += "\r\n";
        }
        i = end + 1;
    }
    return out;
}

// The GBK text a referenced character stands for in chapter text.
std::string gbkForCharacter(char32_t cp)
{
    const bool space = cp == 0xA0 || (cp >= 0x2000 && cp <= 0x200A) || cp == 0x202F || cp == 0x205F;
    if (space) {
        return " ";
    }
    const bool invisible = cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x202A && cp <= 0x202E)
                           || (cp >= 0x2060 && cp <= 0x206F) || cp == 0xFEFF || (cp >= 0x7F && cp < 0xA0)
                           || (cp < 0x20 && cp != '\t' && cp != '\r' && cp != '\n');
    if (invisible) {
        return {};
    }
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return "?";
    }
    return encoding::toGbk(encoding::codePointToUtf8(cp));
}

// "#123", "#x7B" or a name: the GBK text, or nothing when it is no reference.
std::optional<std::string> decodeReference(std::string_view ref)
{
    if (!ref.empty() && ref[0] == '#') {
        const std::optional<char32_t> cp = text::numericReference(ref);
        return cp ? std::optional<std::string>(gbkForCharacter(*cp)) : std::nullopt;
    }
    const HtmlEntity* entity = findHtmlEntity(ref);
    if (entity == nullptr) {
        return std::nullopt;
    }
    return gbkForCharacter(entity->first) + (entity->second != 0 ? gbkForCharacter(entity->second) : std::string());
}

// Every character reference decoded, in one pass: "&amp;lt;" gives "&lt;".
std::string decodeReferences(std::string_view s)
{
    // The longest entity name has 32 letters.
    constexpr std::size_t kLongestReference = 34;
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] == '&') {
            const std::size_t semi = s.substr(i + 1, kLongestReference).find(';');
            if (semi != kNpos) {
                if (const auto decoded = decodeReference(s.substr(i + 1, semi))) {
                    out += *decoded;
                    i += semi + 2;
                    continue;
                }
            }
        }
        copyCharacter(s, i, out);
    }
    return out;
}

std::string foldBlankLines(std::string text)
{
    text = text::replaceAll(text, "\r\n\r\n\r\n", "\r\n");
    return text::replaceAll(text, "\r\n\r\n", "\r\n");
}

}  // namespace

std::string TextBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                        bool ignoreCase)
{
    return text::between(text, resolveQuotePlaceholder(left), resolveQuotePlaceholder(right), start, ignoreCase);
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

std::string removeRemainingMarkup(std::string_view text, const std::vector<std::string>& extraTexts)
{
    std::string out = decodeReferences(removeTags(text));
    // No trail byte is below 0x40, so control bytes are never part of a
    // double-byte character.
    std::erase_if(out, [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && c != '\t' && c != '\r' && c != '\n') || b == 0x7F;
    });
    for (const std::string& extra : extraTexts) {
        out = text::replaceAll(out, extra, "");
    }
    return foldBlankLines(std::move(out));
}

}  // namespace velmora
