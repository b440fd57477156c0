#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Fetches one page over HTTP/1.1, or over HTTPS when `url` starts with
// "https" in any letter case, and returns the response body bytes untouched
// (no decompression, no character conversion). The status code is not
// examined: an error page's body is returned like any other. Safe to call
// from many threads at once. Pointer arguments left out are nullptr, which is
// told apart from a pointer to an empty text.
//
// - method: 0 "GET", 1 "POST", 2 "HEAD"; any other value counts as 0.
// - The request goes to `UrlHost` on `UrlPort` for the path `UrlPath` gives,
//   sent as it is (no "." or ".." folding) except that blanks, control
//   bytes and bytes from 0x7F up are percent-encoded and a "#" fragment
//   stays behind.
// - The request carries Host, then User-Agent, then `headers` completed with
//   each missing default line, in this order: "Accept: */*",
//   "Referer: " + url, "Accept-Language: zh-cn", "Content-Type:
//   application/x-www-form-urlencoded", and "Cookie: " + *cookieJar when the
//   jar is non-empty. Names are looked up case-sensitively, colon included.
//   The completed block (lines joined by "\r\n") is written back into
//   `headers`. Nothing else is added: no Accept-Encoding, no Expect. The
//   agent is the value of a "User-Agent:" line in `headers` (found in any
//   letter case), else "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)".
// - POST sends `*postBytes`; when it is empty or left out, the bytes of
//   `postText` are sent instead and stored into `postBytes`. HEAD fills
//   `postBytes` the same way but sends no body (a HEAD request with a body
//   has no meaning in HTTP, and curl cannot send one). GET sends no body.
// - Redirects, HTTP to HTTPS included, are followed unless `noRedirect`.
// - `responseHeaders` receives the raw header block of the final response,
//   status line first, each line ending in "\r\n", the empty line included;
//   every "Set-Cookie" spelled in any letter case is spelled "Set-Cookie".
// - `receivedCookies` receives the first name=value pair of each Set-Cookie
//   line, joined by "; ".
// - Without `cookieJar`, cookies live in one store shared by all calls of the
//   process: received ones are kept and sent back. With `cookieJar` (even
//   empty) that store is neither read nor written; the jar is sent and then
//   merged with the received cookies (`MergeCookies`), which also strips the
//   spaces from `receivedCookies`.
// - `proxy` is "host:port" of an HTTP proxy (HTTPS goes through CONNECT);
//   empty means a direct connection, whatever the environment says.
// - HTTPS certificates are checked against the system's trusted store.
//
// Failures give an empty body. When no response header block arrived at all
// (unresolvable host, refused connection, TLS failure, time-out before the
// response), `responseHeaders` holds 5000 spaces, `receivedCookies` is empty
// and `cookieJar` is left as it was. When the headers arrived but the body
// did not arrive whole (connection lost, time-out), the headers are reported
// and the cookies handled as for a success, and the body is empty.
std::string HttpRequest(std::string_view url, int method = 0, std::string_view postText = {},
                        std::string* cookieJar = nullptr, std::string* receivedCookies = nullptr,
                        std::string* headers = nullptr, std::string* responseHeaders = nullptr,
                        bool noRedirect = false, std::string* postBytes = nullptr,
                        std::string_view proxy = {});

// Whether calls keep their connections open for later calls from the same
// thread (on by default). Off, every call opens and closes its own
// connection.
void setHttpConnectionReuse(bool reuse);

// Gives up connecting after `connectSeconds`, and a call during which no
// byte has moved for `idleSeconds`, counted from its start (30 and 60 by
// default). Values below 1 count as 1.
void setHttpTimeouts(int connectSeconds, int idleSeconds);

} // namespace velmora
