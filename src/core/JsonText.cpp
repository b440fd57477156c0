#include "core/JsonText.h"

#include "core/Encoding.h"

#include <cstdio>

namespace velmora {

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

}  // namespace velmora
