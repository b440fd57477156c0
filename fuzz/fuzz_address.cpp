// Arbitrary addresses through the splitters, the strict parser and the link
// resolver. An input holding a zero byte is a page address and a link;
// otherwise it is both an address and a link on a fixed page.
#include "web/Url.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

void check(bool holds)
{
    if (!holds) {
        __builtin_trap();
    }
}

// The link lower-cased, without the tabs and line breaks a browser drops.
std::string cleanedLower(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c != '\t' && c != '\r' && c != '\n') {
            out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::size_t zero = bytes.find('\0');
    const std::string_view base =
        zero == std::string_view::npos ? "http://book.example/list/12/" : bytes.substr(0, zero);
    const std::string_view link = zero == std::string_view::npos ? bytes : bytes.substr(zero + 1);

    velmora::UrlHost(bytes, true);
    velmora::UrlPort(bytes);
    check(velmora::UrlPath(bytes).starts_with('/'));

    const std::string typed = velmora::addressFromTyping(bytes);
    check(typed.empty() || static_cast<unsigned char>(typed.front()) > 0x20);

    // Parsing the written-out address gives the same address back.
    if (const std::optional<velmora::HttpAddress> address = velmora::parseHttpAddress(bytes)) {
        const std::optional<velmora::HttpAddress> again = velmora::parseHttpAddress(address->text());
        check(again.has_value() && again->text() == address->text() && again->host == address->host
              && again->port == address->port);
        check(address->path.starts_with('/') && !address->host.empty());
    }

    // A resolved link is an http(s) address on the page's host or on a host
    // the link itself names.
    const std::string resolved = velmora::resolveAddress(base, link);
    if (!resolved.empty()) {
        const std::optional<velmora::HttpAddress> page = velmora::parseHttpAddress(base);
        const std::optional<velmora::HttpAddress> target = velmora::parseHttpAddress(resolved);
        check(page.has_value() && target.has_value());
        check(target->host == page->host || cleanedLower(link).find(target->host) != std::string::npos);
        if (base.find_first_of("\r\n\t") == std::string_view::npos) {
            check(resolved.find_first_of("\r\n\t") == std::string::npos);
        }
    }
    return 0;
}
