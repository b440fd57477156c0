#pragma once

#include <string>

namespace velmora {

// The complete rules file written when none exists: 16 site rules, GBK
// bytes, in exactly the layout the rules file is saved in.
const std::string& DefaultRulesText();

}  // namespace velmora
