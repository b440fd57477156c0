#include "cli/Json.h"

#include <cmath>
#include <cstdio>

namespace velmora::cli {

namespace {

// Length of the well-formed UTF-8 character at the start of `s`, 0 when none
// starts there (RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF).
std::size_t utf8CharLength(std::string_view s)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto trail = [&](std::size_t i, unsigned char low = 0x80, unsigned char high = 0xBF) {
        return i < s.size() && byte(i) >= low && byte(i) <= high;
    };
    const unsigned char c = byte(0);
    if (c < 0x80) {
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF) {
        return trail(1) ? 2 : 0;
    }
    if (c >= 0xE0 && c <= 0xEF) {
        const unsigned char low = c == 0xE0 ? 0xA0 : 0x80;
        const unsigned char high = c == 0xED ? 0x9F : 0xBF;
        return trail(1, low, high) && trail(2) ? 3 : 0;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        const unsigned char low = c == 0xF0 ? 0x90 : 0x80;
        const unsigned char high = c == 0xF4 ? 0x8F : 0xBF;
        return trail(1, low, high) && trail(2) && trail(3) ? 4 : 0;
    }
    return 0;
}

} // namespace

std::string jsonString(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    while (!utf8.empty()) {
        const unsigned char c = static_cast<unsigned char>(utf8[0]);
        std::size_t length = 1;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((length = utf8CharLength(utf8)) != 0) {
            out.append(utf8.substr(0, length));
        } else {
            out += "\xEF\xBF\xBD";
            length = 1;
        }
        utf8.remove_prefix(length);
    }
    out += '"';
    return out;
}

void JsonObject::key(std::string_view key)
{
    if (body_.size() > 1) {
        body_ += ',';
    }
    body_ += jsonString(key);
    body_ += ':';
}

JsonObject& JsonObject::add(std::string_view k, std::string_view utf8)
{
    key(k);
    body_ += jsonString(utf8);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, std::int64_t number)
{
    key(k);
    body_ += std::to_string(number);
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, double number)
{
    key(k);
    if (!std::isfinite(number)) {
        body_ += "null";
        return *this;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", number);
    body_ += text;
    return *this;
}

JsonObject& JsonObject::add(std::string_view k, bool value)
{
    key(k);
    body_ += value ? "true" : "false";
    return *this;
}

} // namespace velmora::cli
