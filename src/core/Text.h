#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text routines over GBK (code page 936) byte strings.
//
// Positions are byte positions counted from 1; a search that finds nothing
// gives -1. A byte from 0x81 to 0xFE opens a double-byte character and takes
// the next byte with it, so no search ever matches, and no case folding ever
// touches, the trail byte of such a character. Case folding covers ASCII
// letters only. Every routine is linear in the length of the text for a
// needle of fixed length, however many matches there are.
namespace velmora::text {

constexpr bool isLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

// Bytes taken by the character that starts at byte index `i` (0-based).
inline std::size_t charLength(std::string_view text, std::size_t i)
{
    return isLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// First occurrence of `needle` at or after position `start` (1-based; below 1
// counts as 1). A start inside a double-byte character moves to the next
// character. An empty needle is found at the start position itself.
int find(std::string_view text, std::string_view needle, int start = 1, bool ignoreCase = false);

// Last occurrence of `needle` lying wholly before position `before`
// (1-based); `before` past the end counts as the end of the text. An empty
// needle finds nothing.
int findLast(std::string_view text, std::string_view needle, int before, bool ignoreCase = false);

// Number of non-overlapping occurrences, the search resuming after each hit;
// 0 when either text is empty.
int countOccurrences(std::string_view text, std::string_view needle, bool caseSensitive = true);

// Every occurrence of `from` replaced by `to` in one left-to-right pass that
// resumes after the inserted text. An empty `from` changes nothing.
std::string replaceAll(std::string_view text, std::string_view from, std::string_view to, bool ignoreCase = false);

// The text between the first `left` at or after `start` and the first
// `right` after it; empty when either is missing.
std::string between(std::string_view text, std::string_view left, std::string_view right, int start = 1,
                    bool ignoreCase = false);

// Removes every ASCII space and every full-width space (A1 A1).
std::string removeSpaces(std::string_view text);

// Removes ASCII spaces and full-width spaces at both ends.
std::string trimSpaces(std::string_view text);

std::string toLowerAscii(std::string_view text);

bool startsWith(std::string_view text, std::string_view prefix, bool ignoreCase = false);

// The text cut at every separator, empty pieces included; an empty text
// gives no pieces.
std::vector<std::string> split(std::string_view text, std::string_view separator);

// Leading whole number: optional spaces, an optional sign and digits; 0 when
// there are no digits. Values beyond the int range are clamped.
int leadingInt(std::string_view text);

std::string decimal(long long value);

// The bytes up to the first zero byte (all of them when there is none).
std::string_view untilNul(std::string_view bytes);

// The code point of a numeric character reference without its "&" and ";":
// "#123" or "#x7B" (or "#X7B"), at most 8 digits; nothing when it is not one.
std::optional<char32_t> numericReference(std::string_view ref);

// Appends `value` with &, <, > and " written as the entities &amp; &lt; &gt;
// &quot;, and ' as &apos; where asked. Right for GBK and UTF-8 alike: no
// trail byte of either is one of these characters.
enum class Apostrophe { kept, escaped };
void appendXmlEscaped(std::string& out, std::string_view value, Apostrophe apostrophe);

// `edited` is `stored` as a text box showed it, with every line break (CR
// LF, lone CR or lone LF) turned into LF, then edited by the user. The
// result is `edited` with each line break that the edit left alone, those
// before the first change and those after the last, in its stored form, and
// every other one as CR LF.
std::string restoreLineBreaks(std::string_view edited, std::string_view stored);

}  // namespace velmora::text
