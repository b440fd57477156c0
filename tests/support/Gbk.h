#pragma once

#include "core/Encoding.h"

#include <string>
#include <string_view>

namespace velmora::test {

// A test's UTF-8 literal as the GBK bytes the program stores and compares.
inline std::string gbk(std::string_view utf8)
{
    return encoding::toGbk(utf8);
}

}  // namespace velmora::test
