#pragma once

#include <optional>
#include <string>
#include <string_view>

// Addresses over GBK text.
//
// The splitters (`UrlHost`, `UrlPort`, `UrlPath`) never fail: a malformed
// address yields a possibly empty host, port 0 or the path "/". They serve
// rule lookup, which must find a site for whatever the user typed.
//
// `parseHttpAddress` and `resolveAddress` are strict: they take an address
// only when it really is an http or https address, and never repair one.
// Neither percent-decodes anything: GBK bytes and percent escapes stay as
// they are, so an address read from a page comes back byte for byte.
namespace velmora {

// The host of an address, lower-cased, without scheme and path; its colon and
// port are kept only when `keepPort` is set.
std::string UrlHost(std::string_view address, bool keepPort = false);

// The port: the number after the host's last colon, else 443 for https and 80
// for anything else. A port that is not a number gives 0.
int UrlPort(std::string_view address);

// The path with its query and fragment, starting with "/".
std::string UrlPath(std::string_view address);

// An http or https address taken apart.
struct HttpAddress {
    bool https = false;
    std::string host;                     // ASCII letters lower-cased; an IPv6 literal keeps its brackets
    int port = 80;                        // the port written in the address, else 80 or 443
    bool portWritten = false;             // the address names its port (even the scheme's own)
    std::string path = "/";               // starts with "/": "/" when the address has no path
    std::optional<std::string> query;     // after "?", without it
    std::optional<std::string> fragment;  // after "#", without it

    // The address written out again: scheme, host, the port when written,
    // path, query and fragment. Parsing the text gives this address back.
    std::string text() const;
    // `text()` without the fragment.
    std::string textWithoutFragment() const;
};

// Takes `address` apart when it is "http://" or "https://" (scheme in any
// letter case) followed by an authority that is exactly a host and an
// optional port, then the path, query and fragment. Refused (nullopt):
// any other scheme or none, blanks or other bytes around the address that
// do not belong to it, an empty host, a host holding anything but ASCII
// letters, digits, "-", ".", "_" and "~" (or a bracketed IPv6 literal), user
// information ("user@host": the host would not be what it seems), and a port
// that is not a number from 1 to 65535 ("host:" alone means the default
// port). The path, query and fragment are taken byte for byte, whatever they
// hold; a request percent-encodes what cannot stand on its line.
std::optional<HttpAddress> parseHttpAddress(std::string_view address);

// The address a person means by what they typed or pasted into an address
// box, read as a browser's address bar reads it: blanks, tabs and line
// breaks around it dropped, and "http://" put before an address that names
// no scheme ("book.example/list/12/", "//book.example/"). Nothing else is
// changed: the result still has to pass `parseHttpAddress` to be fetched, so
// "javascript:..." or "file:///..." stay refused.
std::string addressFromTyping(std::string_view typed);

// The address a browser opens when a link `link`, as written in a page, is
// followed from the page at `base` (the page's final address, after
// redirects), by RFC 3986 section 5: absolute ("http://h/x"),
// scheme-relative ("//h/x"), host-relative ("/x"), path-relative ("x",
// "../x", "./"), query-only ("?p=2") and fragment-only ("#top") links, dot
// segments removed. As browsers do, tabs and line breaks anywhere in the
// link are dropped, blanks and control bytes at its ends are trimmed, and a
// backslash before the query counts as a slash ("http:x" on an http page is
// path-relative). GBK bytes and percent escapes are kept as they are.
//
// Empty when `base` is not an http(s) address (`parseHttpAddress`) or the
// link leads to none: another scheme ("javascript:", "mailto:", "ftp:"), a
// malformed host. A host appears in the result only when the page or the
// link names it: a link like "www.example.com/1.html" stays a path on the
// page's own host.
std::string resolveAddress(std::string_view base, std::string_view link);

}  // namespace velmora
