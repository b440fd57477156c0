#include "core/Text.h"

#include <algorithm>
#include <climits>

namespace velmora::text {
namespace {

constexpr char toLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isFullWidthSpace(std::string_view text, std::size_t i)
{
    return i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xA1
           && static_cast<unsigned char>(text[i + 1]) == 0xA1;
}

// Index of the first character boundary at or after byte index `i`. A run of
// lead-range bytes before `i` pairs up from its start, so `i` sits inside a
// character exactly when that run is odd in length.
std::size_t alignToBoundary(std::string_view text, std::size_t i)
{
    std::size_t j = i;
    while (j > 0 && isLeadByte(static_cast<unsigned char>(text[j - 1]))) {
        --j;
    }
    return (i - j) % 2 == 0 ? i : i + 1;
}

// Whether `needle` matches at byte index `i`, folding ASCII letters only
// where the needle has a single-byte character.
bool matchesIgnoringCase(std::string_view text, std::size_t i, std::string_view needle)
{
    if (text.size() - i < needle.size()) {
        return false;
    }
    for (std::size_t k = 0; k < needle.size();) {
        const std::size_t len = charLength(needle, k);
        if (len == 2) {
            if (text[i + k] != needle[k] || text[i + k + 1] != needle[k + 1]) {
                return false;
            }
        } else if (toLower(text[i + k]) != toLower(needle[k])) {
            return false;
        }
        k += len;
    }
    return true;
}

// First match at or after byte index `from`, which must be a character
// boundary; npos when none.
std::size_t findAt(std::string_view text, std::string_view needle, std::size_t from, bool ignoreCase)
{
    if (needle.empty()) {
        return from;
    }
    if (ignoreCase) {
        for (std::size_t i = from; i < text.size(); i += charLength(text, i)) {
            if (matchesIgnoringCase(text, i, needle)) {
                return i;
            }
        }
        return std::string_view::npos;
    }
    std::size_t boundary = from;
    std::size_t pos = from;
    while (pos + needle.size() <= text.size()) {
        // string_view::find scans with memchr, which reads only up to the hit;
        // memmem would look at the whole rest of the text on every call.
        const std::size_t c = text.find(needle, pos);
        if (c == std::string_view::npos) {
            break;
        }
        while (boundary < c) {
            boundary += charLength(text, boundary);
        }
        if (boundary == c) {
            return c;
        }
        pos = c + 1;
    }
    return std::string_view::npos;
}

// First character boundary at or after the end of a match at `at`.
std::size_t afterMatch(std::string_view text, std::size_t at, std::size_t length)
{
    std::size_t end = at;
    while (end < at + length) {
        end += charLength(text, end);
    }
    return end;
}

}  // namespace

int find(std::string_view text, std::string_view needle, int start, bool ignoreCase)
{
    const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start) - 1;
    if (from > text.size()) {
        return -1;
    }
    const std::size_t at = findAt(text, needle, alignToBoundary(text, from), ignoreCase);
    return at == std::string_view::npos || at > text.size() ? -1 : static_cast<int>(at) + 1;
}

int findLast(std::string_view text, std::string_view needle, int before, bool ignoreCase)
{
    if (before < 1) {
        return -1;
    }
    const std::size_t limit = std::min(static_cast<std::size_t>(before) - 1, text.size());
    if (needle.empty()) {
        return -1;
    }
    int last = -1;
    for (std::size_t at = findAt(text, needle, 0, ignoreCase);
         at != std::string_view::npos && at + needle.size() <= limit;
         at = findAt(text, needle, afterMatch(text, at, 1), ignoreCase)) {
        last = static_cast<int>(at) + 1;
    }
    return last;
}

int countOccurrences(std::string_view text, std::string_view needle, bool caseSensitive)
{
    if (text.empty() || needle.empty()) {
        return 0;
    }
    int count = 0;
    for (std::size_t at = findAt(text, needle, 0, !caseSensitive); at != std::string_view::npos;
         at = findAt(text, needle, afterMatch(text, at, needle.size()), !caseSensitive)) {
        ++count;
    }
    return count;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to, bool ignoreCase)
{
    if (from.empty()) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    std::size_t done = 0;
    for (std::size_t at = findAt(text, from, 0, ignoreCase); at != std::string_view::npos;
         at = findAt(text, from, done, ignoreCase)) {
        out.append(text.substr(done, at - done));
        out.append(to);
        done = afterMatch(text, at, from.size());
    }
    out.append(text.substr(std::min(done, text.size())));
    return out;
}

std::string between(std::string_view text, std::string_view left, std::string_view right, int start, bool ignoreCase)
{
    const int l = find(text, left, start, ignoreCase);
    if (l == -1) {
        return {};
    }
    const int d = l + static_cast<int>(left.size());
    const int r = find(text, right, d, ignoreCase);
    if (r == -1 || r < d) {
        return {};
    }
    return std::string(text.substr(static_cast<std::size_t>(d) - 1, static_cast<std::size_t>(r - d)));
}

std::string removeSpaces(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = charLength(text, i);
        if (text[i] != ' ' && !isFullWidthSpace(text, i)) {
            out.append(text.substr(i, len));
        }
        i += len;
    }
    return out;
}

std::string trimSpaces(std::string_view text)
{
    std::size_t first = text.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t len = charLength(text, i);
        if (text[i] != ' ' && !isFullWidthSpace(text, i)) {
            first = std::min(first, i);
            end = i + len;
        }
        i += len;
    }
    return first < end ? std::string(text.substr(first, end - first)) : std::string();
}

std::string toLowerAscii(std::string_view text)
{
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); i += charLength(out, i)) {
        out[i] = toLower(out[i]);
    }
    return out;
}

bool startsWith(std::string_view text, std::string_view prefix, bool ignoreCase)
{
    if (text.size() < prefix.size()) {
        return false;
    }
    return ignoreCase ? matchesIgnoringCase(text, 0, prefix) : text.substr(0, prefix.size()) == prefix;
}

std::vector<std::string> split(std::string_view text, std::string_view separator)
{
    std::vector<std::string> pieces;
    if (text.empty()) {
        return pieces;
    }
    if (separator.empty()) {
        pieces.emplace_back(text);
        return pieces;
    }
    std::size_t done = 0;
    for (std::size_t at = findAt(text, separator, 0, false); at != std::string_view::npos;
         at = findAt(text, separator, done, false)) {
        pieces.emplace_back(text.substr(done, at - done));
        done = afterMatch(text, at, separator.size());
    }
    pieces.emplace_back(text.substr(std::min(done, text.size())));
    return pieces;
}

int leadingInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::string decimal(long long value)
{
    return std::to_string(value);
}

std::string_view untilNul(std::string_view bytes)
{
    const std::size_t nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

std::string restoreLineBreaks(std::string_view edited, std::string_view stored)
{
    // `stored` as the box showed it, and the form of each of its breaks.
    std::string shown;
    std::vector<std::string_view> forms;
    for (std::size_t i = 0; i < stored.size();) {
        if (stored[i] == '\r' || stored[i] == '\n') {
            const bool crlf = stored.substr(i, 2) == "\r\n";
            forms.push_back(stored.substr(i, crlf ? 2 : 1));
            shown += '\n';
            i += crlf ? 2 : 1;
        } else {
            shown += stored[i++];
        }
    }
    const std::size_t common = std::min(edited.size(), shown.size());
    std::size_t head = 0;
    while (head < common && edited[head] == shown[head]) {
        ++head;
    }
    std::size_t tail = 0;
    while (tail < common - head && edited[edited.size() - 1 - tail] == shown[shown.size() - 1 - tail]) {
        ++tail;
    }
    const std::size_t tailStart = edited.size() - tail;
    // The breaks of the unchanged tail are the last ones of `stored`.
    std::size_t tailBreak = forms.size()
                            - static_cast<std::size_t>(std::count(
                                edited.begin() + static_cast<std::ptrdiff_t>(tailStart), edited.end(), '\n'));
    std::size_t headBreak = 0;
    std::string out;
    out.reserve(edited.size() + forms.size());
    for (std::size_t i = 0; i < edited.size(); ++i) {
        if (edited[i] != '\n') {
            out += edited[i];
        } else if (i < head) {
            out += forms[headBreak++];
        } else if (i >= tailStart) {
            out += forms[tailBreak++];
        } else {
            out += "\r\n";
        }
    }
    return out;
}

void appendXmlEscaped(std::string& out, std::string_view value, Apostrophe apostrophe)
{
    for (const char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            if (apostrophe == Apostrophe::escaped) {
                out += "&apos;";
            } else {
                out += c;
            }
            break;
        default:
            out += c;
            break;
        }
    }
}

std::optional<char32_t> numericReference(std::string_view ref)
{
    if (ref.size() < 2 || ref[0] != '#') {
        return std::nullopt;
    }
    const bool hex = ref[1] == 'x' || ref[1] == 'X';
    const std::string_view digits = ref.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) {
        return std::nullopt;
    }
    char32_t cp = 0;
    for (const char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9') {
            d = c - '0';
        } else if (hex && c >= 'a' && c <= 'f') {
            d = c - 'a' + 10;
        } else if (hex && c >= 'A' && c <= 'F') {
            d = c - 'A' + 10;
        }
        if (d < 0) {
            return std::nullopt;
        }
        cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(d);
    }
    return cp;
}

}  // namespace velmora::text
