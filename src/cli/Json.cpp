#include "cli/Json.h"

#include "core/Encoding.h"

#include <cmath>
#include <cstdio>

namespace velmora::cli {

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
        } else if ((length = encoding::utf8SequenceLength(utf8)) != 0) {
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

}  // namespace velmora::cli
