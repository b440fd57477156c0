// A pattern and a subject, split at the first zero byte, through RegexObject.
// The first byte picks the options.
#include "core/RegexObject.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 2048) {
        return 0;
    }
    const unsigned options = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t split = rest.find('\0');
    const std::string_view pattern = rest.substr(0, split);
    const std::string_view subject = split == std::string_view::npos ? std::string_view() : rest.substr(split + 1);

    velmora::RegexObject regex;
    const bool ok = regex.run(pattern, subject, options & 1, options & 2, options & 4, options & 8);
    const int matches = regex.matchCount();
    const int groups = regex.groupCount();
    if (!ok && (matches != 0 || groups != 0)) {
        __builtin_trap();
    }
    for (int m = 0; m <= matches + 1; ++m) {
        regex.matchText(m);
        for (int g = 0; g <= groups + 1; ++g) {
            regex.groupText(m, g);
        }
    }
    // Putting every match back where it was must rebuild the subject exactly.
    if (ok && regex.replaceAll("$&") != subject) {
        __builtin_trap();
    }
    regex.replaceAll("[$1$2$&$`$'$$$9$99]");
    return 0;
}
