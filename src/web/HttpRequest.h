#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// Why a call did not give a whole response. `none`: a whole response
// arrived, whatever its status.
enum class HttpFailure {
    none,
    badAddress,     // not an http(s) address (`parseHttpAddress`); nothing was sent
    cannotResolve,  // the host name (or the proxy's) did not resolve
    cannotConnect,  // no connection, or no TLS session over it
    timedOut,       // connecting, a silence or the whole call took too long
    tooSlow,        // the transfer stayed below the lowest average rate
    tooLarge,       // the body or the header block went past the cap
    cutShort,       // the connection ended before the response was whole
    cancelled,      // the caller's cancel flag was raised
    other,          // anything else (too many redirects, a protocol error)
};

struct HttpOutcome {
    HttpFailure failure = HttpFailure::none;
    long status = 0;            // status code of the final response; 0 when none arrived
    std::string finalUrl;       // the address that answered, after redirects (the given one when none)
    std::string contentType;    // the final response's Content-Type value as sent, blanks trimmed
    std::string retryAfter;     // the final response's Retry-After value as sent (for 429 and 503)
    std::size_t bodyBytes = 0;  // body bytes received (before decompression)
    double seconds = 0;         // how long the call took
    std::string detail;         // short ASCII detail of a failure (e.g. curl's message); empty on success
};

struct HttpCallOptions {
    // Polled throughout the call, at least every 100 ms; once true, the call
    // ends within about that long with HttpFailure::cancelled.
    const std::atomic<bool>* cancel = nullptr;
    HttpOutcome* outcome = nullptr;  // filled in when given
};

// Process-wide limits on every call, read when a call starts.
struct HttpLimits {
    // Body cap, also applied to the header block and to decompressed pages
    // (`DecompressGzip`): a response past it fails with HttpFailure::tooLarge
    // as soon as the cap is passed, so memory stays bounded.
    std::size_t maxBodyBytes = std::size_t{64} << 20;
    // Overall deadline of one call, redirects included.
    int totalSeconds = 120;
    // Once the response has begun, a call that moves fewer than
    // lowSpeedBytesPerSecond * lowSpeedSeconds bytes in a window of
    // lowSpeedSeconds fails with HttpFailure::tooSlow: a server that drips a
    // byte a second cannot hold a worker for ever.
    long lowSpeedBytesPerSecond = 64;
    int lowSpeedSeconds = 30;
};
// Values below 1 count as 1.
void setHttpLimits(const HttpLimits& limits);
HttpLimits httpLimits();

// The value of the first `name` line (any letter case) of a response header
// block such as `responseHeaders` holds, blanks trimmed; empty when there is
// none.
std::string responseHeaderValue(std::string_view headerBlock, std::string_view name);

// A short UTF-8 text about an outcome for people, such as "HTTP 404",
// "连接超时", "无法连接" or "响应过大" (for tooltips, the command line and
// JSON; never stored with the page).
std::string describeHttpOutcome(const HttpOutcome& outcome);

// Fetches one page over HTTP/1.1, or over HTTPS when `url` starts with
// "https" in any letter case, and returns the response body bytes untouched
// (no decompression, no character conversion). The status code is not
// examined: an error page's body is returned like any other. Safe to call
// from many threads at once. Pointer arguments left out are nullptr, which is
// told apart from a pointer to an empty text.
//
// - method: 0 "GET", 1 "POST", 2 "HEAD"; any other value counts as 0.
// - `url` must be an http or https address as `parseHttpAddress` takes it;
//   anything else (another scheme, no scheme, user information, a malformed
//   host) is refused: nothing is sent, the body is empty and the outcome
//   is HttpFailure::badAddress.
// - The request goes to the address's host and port for its path and query,
//   sent as they are (no "." or ".." folding) except that blanks, control
//   bytes and bytes from 0x7F up are percent-encoded and a "#" fragment
//   stays behind.
// - The request carries Host, then User-Agent, then `headers` completed with
//   each missing default line, in this order: "Accept: */*",
//   "Referer: " + url (encoded as the request line's path is, so that no
//   line break in an address can start a header line), "Accept-Language:
//   zh-cn", "Content-Type: application/x-www-form-urlencoded", and
//   "Cookie: " + *cookieJar when the jar is non-empty. Names are looked up
//   case-sensitively, colon included. The completed block (lines joined by
//   "\r\n") is written back into `headers`. Nothing else is added: no
//   Accept-Encoding, no Expect. The agent is the value of a "User-Agent:"
//   line in `headers` (found in any letter case), else "Mozilla/4.0
//   (compatible; MSIE 9.0; Windows NT 6.1)".
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
// - Limits (`httpLimits`): the body and header block are capped, the call
//   has an overall deadline and a lowest average rate; `setHttpTimeouts`
//   adds the connect and idle time-outs. `options.cancel` ends a call in
//   flight. `options.outcome` tells what happened.
//
// Failures give an empty body. When no response header block arrived at all
// (refused address, unresolvable host, refused connection, TLS failure,
// time-out or cancel before the response), `responseHeaders` holds 5000
// spaces, `receivedCookies` is empty and `cookieJar` is left as it was. When
// the headers arrived but the body did not arrive whole (connection lost,
// time-out, cap passed, cancel), the headers are reported and the cookies
// handled as for a success, and the body is empty.
std::string HttpRequest(std::string_view url, int method = 0, std::string_view postText = {},
                        std::string* cookieJar = nullptr, std::string* receivedCookies = nullptr,
                        std::string* headers = nullptr, std::string* responseHeaders = nullptr, bool noRedirect = false,
                        std::string* postBytes = nullptr, std::string_view proxy = {},
                        const HttpCallOptions& options = {});

// Whether calls keep their connections open for later calls from the same
// thread (on by default). Off, every call opens and closes its own
// connection.
void setHttpConnectionReuse(bool reuse);

// Gives up connecting after `connectSeconds`, and a call during which no
// byte has moved for `idleSeconds`, counted from its start (30 and 60 by
// default). Values below 1 count as 1.
void setHttpTimeouts(int connectSeconds, int idleSeconds);

}  // namespace velmora
