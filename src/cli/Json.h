#pragma once

#include "core/JsonText.h"

#include <cstdint>
#include <string>
#include <string_view>

// One JSON object on one line, built field by field, for the --json events.
namespace velmora::cli {

using velmora::jsonString;

class JsonObject {
public:
    JsonObject& add(std::string_view key, std::string_view utf8);
    JsonObject& add(std::string_view key, const char* utf8) { return add(key, std::string_view(utf8)); }
    JsonObject& add(std::string_view key, std::int64_t number);
    JsonObject& add(std::string_view key, int number) { return add(key, static_cast<std::int64_t>(number)); }
    JsonObject& add(std::string_view key, double number);  // rounded to milliseconds
    JsonObject& add(std::string_view key, bool value);

    // The object, "{...}", without a line break.
    std::string text() const { return body_ + '}'; }

private:
    void key(std::string_view key);
    std::string body_ = "{";
};

}  // namespace velmora::cli
