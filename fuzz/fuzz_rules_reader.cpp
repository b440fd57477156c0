// Feeds arbitrary bytes to the rules file reader. Whatever loads must write
// out and read back as the same document, and writing that again must give
// the same bytes.
#include "rules/RulesXml.h"

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<velmora::XmlElement> root = velmora::parseXmlDocument(bytes);
    if (!root) {
        return 0;
    }
    const std::string written = velmora::writeXmlDocument(*root);
    const std::optional<velmora::XmlElement> reread = velmora::parseXmlDocument(written);
    if (!reread || *reread != *root || velmora::writeXmlDocument(*reread) != written) {
        std::abort();
    }
    return 0;
}
