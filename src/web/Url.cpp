#include "web/Url.h"

#include "core/Text.h"

namespace velmora {

std::string UrlHost(std::string_view address, bool keepPort)
{
    std::string lower = text::toLowerAscii(address);
    if (lower.empty() || lower.back() != '/') {
        lower.push_back('/');
    }
    std::string host;
    if (text::startsWith(lower, "https://")) {
        host = text::between(lower, "https://", "/");
    } else {
        if (text::find(lower, "http://") == -1) {
            lower.insert(0, "http://");
        }
        host = text::between(lower, "http://", "/");
    }
    if (!keepPort) {
        const int colon = text::find(host, ":");
        if (colon != -1) {
            host.resize(static_cast<std::size_t>(colon) - 1);
        }
    }
    return host;
}

int UrlPort(std::string_view address)
{
    const std::string host = UrlHost(address, true);
    const int colon = text::findLast(host, ":", static_cast<int>(host.size()) + 1);
    if (colon == -1) {
        return text::startsWith(address, "https", true) ? 443 : 80;
    }
    return text::leadingInt(std::string_view(host).substr(static_cast<std::size_t>(colon)));
}

std::string UrlPath(std::string_view address)
{
    const int hostAt = text::find(address, UrlHost(address), 1, true);
    const int slash = text::find(address, "/", hostAt, true);
    if (slash < 1) {
        return "/";
    }
    return std::string(address.substr(static_cast<std::size_t>(slash) - 1));
}

} // namespace velmora
