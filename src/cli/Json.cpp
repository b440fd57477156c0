#include "cli/Json.h"

#include <cmath>
#include <cstdio>

namespace velmora::cli {

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
