#include "web/Url.h"

#include "core/Text.h"

#include <algorithm>

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

}  // namespace velmora

namespace velmora {
namespace {

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isHostName(std::string_view host)
{
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) {
        return isAsciiLetter(c) || isDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
    });
}

bool isIpv6Literal(std::string_view host)
{
    if (host.size() < 3 || host.front() != '[' || host.back() != ']') {
        return false;
    }
    const std::string_view inner = host.substr(1, host.size() - 2);
    return std::all_of(inner.begin(), inner.end(), [](char c) { return isHexDigit(c) || c == ':' || c == '.'; });
}

// Host and port of `authority` into `address`; false when it is anything else.
bool takeAuthority(std::string_view authority, HttpAddress& address)
{
    if (authority.find('@') != std::string_view::npos) {
        return false;
    }
    const std::size_t hostEnd = authority.starts_with('[') ? authority.find(']') + 1 : authority.find(':');
    const std::string_view host = authority.substr(0, hostEnd);
    if (!(host.starts_with('[') ? isIpv6Literal(host) : isHostName(host))) {
        return false;
    }
    address.host = text::toLowerAscii(host);
    address.port = address.https ? 443 : 80;
    address.portWritten = false;
    if (hostEnd == std::string_view::npos || hostEnd == authority.size()) {
        return true;
    }
    if (authority[hostEnd] != ':') {
        return false;
    }
    const std::string_view port = authority.substr(hostEnd + 1);
    if (port.empty()) {
        return true;
    }
    if (port.size() > 5 || !std::all_of(port.begin(), port.end(), isDigit)) {
        return false;
    }
    const int number = text::leadingInt(port);
    if (number < 1 || number > 65535) {
        return false;
    }
    address.port = number;
    address.portWritten = true;
    return true;
}

// Path, query and fragment of `rest` (what follows the authority).
void takePathQueryFragment(std::string_view rest, HttpAddress& address)
{
    // Neither "#" nor "?" can be the second byte of a GBK character.
    if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
        address.fragment = std::string(rest.substr(hash + 1));
        rest = rest.substr(0, hash);
    }
    if (const std::size_t question = rest.find('?'); question != std::string_view::npos) {
        address.query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    address.path = rest.empty() ? "/" : std::string(rest);
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view in)
{
    std::string out;
    const auto dropLastSegment = [&] { out.resize(std::min(out.size(), out.rfind('/'))); };
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./") || in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            dropLastSegment();
        } else if (in == "/..") {
            in = "/";
            dropLastSegment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const std::size_t next = in.find('/', 1);
            out.append(in.substr(0, next));
            in.remove_prefix(std::min(next, in.size()));
        }
    }
    return out;
}

// The link as a browser reads it from an attribute: tabs and line breaks
// dropped, blanks and control bytes trimmed from both ends, backslashes
// before the query turned into slashes (GBK second bytes left alone).
std::string cleanLink(std::string_view link)
{
    std::string out;
    out.reserve(link.size());
    for (char c : link) {
        if (c != '\t' && c != '\r' && c != '\n') {
            out.push_back(c);
        }
    }
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    const auto first = std::find_if_not(out.begin(), out.end(), isBlank);
    const auto last = std::find_if_not(out.rbegin(), out.rend(), isBlank).base();
    out = first < last ? std::string(first, last) : std::string();
    for (std::size_t i = 0; i < out.size() && out[i] != '?' && out[i] != '#'; i += text::charLength(out, i)) {
        if (out[i] == '\\') {
            out[i] = '/';
        }
    }
    return out;
}

// The scheme the link opens with, lower-cased; empty when it has none.
std::string schemeOf(std::string_view link)
{
    if (link.empty() || !isAsciiLetter(link[0])) {
        return {};
    }
    for (std::size_t i = 1; i < link.size(); ++i) {
        const char c = link[i];
        if (c == ':') {
            return text::toLowerAscii(link.substr(0, i));
        }
        if (!isAsciiLetter(c) && !isDigit(c) && c != '+' && c != '-' && c != '.') {
            return {};
        }
    }
    return {};
}

std::string withDotsRemoved(std::optional<HttpAddress> address)
{
    if (!address) {
        return {};
    }
    address->path = removeDotSegments(address->path);
    return address->text();
}

}  // namespace

std::string HttpAddress::textWithoutFragment() const
{
    std::string out = https ? "https://" : "http://";
    out.append(host);
    if (portWritten) {
        out.append(":").append(text::decimal(port));
    }
    out.append(path);
    if (query) {
        out.append("?").append(*query);
    }
    return out;
}

std::string HttpAddress::text() const
{
    return fragment ? textWithoutFragment() + "#" + *fragment : textWithoutFragment();
}

std::optional<HttpAddress> parseHttpAddress(std::string_view address)
{
    HttpAddress parsed;
    std::size_t authorityAt = 0;
    if (text::startsWith(address, "http://", true)) {
        authorityAt = 7;
    } else if (text::startsWith(address, "https://", true)) {
        authorityAt = 8;
        parsed.https = true;
    } else {
        return std::nullopt;
    }
    const std::size_t authorityEnd = std::min(address.find_first_of("/?#", authorityAt), address.size());
    if (!takeAuthority(address.substr(authorityAt, authorityEnd - authorityAt), parsed)) {
        return std::nullopt;
    }
    takePathQueryFragment(address.substr(authorityEnd), parsed);
    return parsed;
}

std::string addressFromTyping(std::string_view typed)
{
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!typed.empty() && isBlank(typed.front())) {
        typed.remove_prefix(1);
    }
    while (!typed.empty() && isBlank(typed.back())) {
        typed.remove_suffix(1);
    }
    if (typed.empty() || typed.find("://") != std::string_view::npos) {
        return std::string(typed);
    }
    return (typed.starts_with("//") ? "http:" : "http://") + std::string(typed);
}

std::string resolveAddress(std::string_view base, std::string_view link)
{
    const std::optional<HttpAddress> page = parseHttpAddress(base);
    if (!page) {
        return {};
    }
    const std::string cleaned = cleanLink(link);
    std::string_view reference = cleaned;
    const std::string pageScheme = page->https ? "https" : "http";
    if (const std::string scheme = schemeOf(reference); !scheme.empty()) {
        reference.remove_prefix(scheme.size() + 1);
        if (reference.starts_with("//") && (scheme == "http" || scheme == "https")) {
            return withDotsRemoved(parseHttpAddress(scheme + ":" + std::string(reference)));
        }
        // "http:1.html" on an http page is read as "1.html"; any other
        // scheme leads away from the web, or names a host without "//".
        if (scheme != pageScheme) {
            return {};
        }
    }
    if (reference.starts_with("//")) {
        return withDotsRemoved(parseHttpAddress(pageScheme + ":" + std::string(reference)));
    }

    HttpAddress relative;
    takePathQueryFragment(reference, relative);
    const bool hasPath = !reference.empty() && reference[0] != '?' && reference[0] != '#';
    HttpAddress target = *page;
    target.fragment = relative.fragment;
    if (!hasPath) {
        if (relative.query) {
            target.query = relative.query;
        }
        return target.text();
    }
    target.query = relative.query;
    if (relative.path.starts_with('/')) {
        target.path = removeDotSegments(relative.path);
    } else {
        target.path = removeDotSegments(page->path.substr(0, page->path.rfind('/') + 1) + relative.path);
    }
    return target.text();
}

}  // namespace velmora
