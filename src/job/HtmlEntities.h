#pragma once

#include <string_view>

namespace velmora {

// A named character reference of HTML, such as "hellip" in "&hellip;".
struct HtmlEntity {
    std::string_view name;  // without "&" and ";"
    char32_t first;         // the character it stands for
    char32_t second;        // a second one for the few that stand for two, else 0
};

// The entity of that name (case matters: "Auml" is not "auml"), or null.
const HtmlEntity* findHtmlEntity(std::string_view name);

}  // namespace velmora
