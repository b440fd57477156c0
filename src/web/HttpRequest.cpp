#include "web/HttpRequest.h"

#include "core/Text.h"
#include "web/Cookies.h"
#include "web/CurlHandles.h"
#include "web/Url.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <optional>

namespace velmora {
namespace {

constexpr std::string_view kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr std::size_t kNoResponseHeaderLength = 5000;
constexpr long kMaxRedirects = 20;
constexpr int kWaitSliceMs = 100;  // how long a call waits for its sockets before it checks its limits again

std::atomic<bool> connectionReuse{true};
std::atomic<int> connectTimeoutSeconds{30};
std::atomic<int> idleTimeoutSeconds{60};

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The cookie store shared by every call made without a cookie jar. curl
// calls the lock callbacks from whichever thread runs a handle attached to
// the share.
class CookieStore {
public:
    CookieStore() : share_(curl_share_init())
    {
        if (share_) {
            curl_share_setopt(share_.get(), CURLSHOPT_LOCKFUNC, static_cast<curl_lock_function>(&lock));
            curl_share_setopt(share_.get(), CURLSHOPT_UNLOCKFUNC, static_cast<curl_unlock_function>(&unlock));
            curl_share_setopt(share_.get(), CURLSHOPT_USERDATA, this);
            curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
        }
    }

    CURLSH* get() const { return share_.get(); }

private:
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* self)
    {
        static_cast<CookieStore*>(self)->mutexFor(data).lock();
    }

    static void unlock(CURL*, curl_lock_data data, void* self)
    {
        static_cast<CookieStore*>(self)->mutexFor(data).unlock();
    }

    std::mutex& mutexFor(curl_lock_data data)
    {
        return mutexes_[data >= 0 && data < CURL_LOCK_DATA_LAST ? data : CURL_LOCK_DATA_NONE];
    }

    // Declared before the share so that they outlive it.
    std::array<std::mutex, CURL_LOCK_DATA_LAST> mutexes_;
    curl::Share share_;
};

CookieStore& cookieStore()
{
    static CookieStore store;
    return store;
}

// The pair of curl handles one call runs on: the multi handle holds the
// connection cache and lets the call wait in short slices, so it can watch
// its limits and the cancel flag. With reuse on, each thread keeps its pair
// between calls: a run of pages from one site pays for one TCP and TLS
// handshake. The kept easy handle is always in its reset state between calls.
struct Handles {
    curl::Multi multi;
    curl::Easy easy;  // after the multi handle: released first
};

Handles* acquireHandles(Handles& own)
{
    Handles* handles = &own;
    if (connectionReuse.load()) {
        thread_local Handles kept;
        handles = &kept;
    }
    if (!handles->multi) {
        handles->multi.reset(curl_multi_init());
    }
    if (!handles->easy) {
        handles->easy.reset(curl_easy_init());
    }
    return handles->multi && handles->easy ? handles : nullptr;
}

using Clock = std::chrono::steady_clock;

// Filled by curl's callbacks while a transfer runs.
struct Response {
    std::string body;
    std::string headerBlock;  // the latest response's block, CR LF line ends
    bool inHeaderBlock = false;
    bool headersComplete = false;
    std::size_t cap = 0;       // for the body, and for the header block
    std::size_t received = 0;  // header and body bytes delivered so far
    bool overCap = false;
};

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* response = static_cast<Response*>(user);
    const std::size_t length = size * count;
    response->received += length;
    if (length > response->cap - response->body.size()) {
        response->overCap = true;
        return 0;  // aborts the transfer
    }
    try {
        response->body.append(data, length);
        return length;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// curl hands over every header line of every response, redirects and
// interim responses included; a status line starts a new block, so the
// block left at the end is the final response's. Trailers after the body
// are not part of it.
size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    auto* response = static_cast<Response*>(user);
    response->received += size * count;
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.size() + 2 > response->cap - std::min(response->cap, response->headerBlock.size())) {
        response->overCap = true;
        return 0;
    }
    try {
        if (line.starts_with("HTTP/")) {
            response->headerBlock.clear();
            response->inHeaderBlock = true;
            response->headersComplete = false;
        }
        if (response->inHeaderBlock) {
            response->headerBlock.append(line).append("\r\n");
            if (line.empty()) {
                response->inHeaderBlock = false;
                response->headersComplete = true;
            }
        }
        return size * count;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

// Why a running transfer must end, checked between two waits: the cancel
// flag, the deadline, a silence, and the lowest average rate. The rate is
// judged over whole windows from the first byte of the response, so the
// time a server takes to think before answering is left to the idle
// time-out.
class Watchdog {
public:
    Watchdog(const HttpLimits& limits, int idleSeconds, const std::atomic<bool>* cancel)
        : limits_(limits), idle_(std::chrono::seconds(idleSeconds)), cancel_(cancel)
    {
    }

    Clock::time_point start() const { return start_; }

    bool cancelled() const { return cancel_ != nullptr && cancel_->load(std::memory_order_relaxed); }

    // The failure to end with, with its detail; none while all is well.
    HttpFailure check(std::size_t received, curl_off_t uploaded, std::string& detail)
    {
        const Clock::time_point now = Clock::now();
        if (cancelled()) {
            detail = "cancelled";
            return HttpFailure::cancelled;
        }
        if (now - start_ >= std::chrono::seconds(limits_.totalSeconds)) {
            detail = "no whole response within " + text::decimal(limits_.totalSeconds) + " s";
            return HttpFailure::timedOut;
        }
        const std::size_t moved = received + static_cast<std::size_t>(std::max<curl_off_t>(uploaded, 0));
        if (moved != moved_) {
            moved_ = moved;
            lastActivity_ = now;
        } else if (now - lastActivity_ >= idle_) {
            detail = "nothing moved for " + text::decimal(idle_.count()) + " s";
            return HttpFailure::timedOut;
        }
        if (received == 0) {
            return HttpFailure::none;
        }
        if (windowBytes_ == 0) {
            windowStart_ = now;
            windowBytes_ = received;
        } else if (now - windowStart_ >= std::chrono::seconds(limits_.lowSpeedSeconds)) {
            const auto wanted = static_cast<std::size_t>(limits_.lowSpeedBytesPerSecond) * limits_.lowSpeedSeconds;
            if (received - windowBytes_ < wanted) {
                detail = "below " + text::decimal(limits_.lowSpeedBytesPerSecond) + " bytes/s over "
                         + text::decimal(limits_.lowSpeedSeconds) + " s";
                return HttpFailure::tooSlow;
            }
            windowStart_ = now;
            windowBytes_ = received;
        }
        return HttpFailure::none;
    }

private:
    HttpLimits limits_;
    std::chrono::seconds idle_;
    const std::atomic<bool>* cancel_;
    Clock::time_point start_ = Clock::now();
    Clock::time_point lastActivity_ = start_;
    std::size_t moved_ = 0;
    Clock::time_point windowStart_ = start_;
    std::size_t windowBytes_ = 0;
};

HttpFailure failureOf(CURLcode code, bool overCap)
{
    if (overCap && code != CURLE_OK) {
        return HttpFailure::tooLarge;
    }
    switch (code) {
    case CURLE_OK:
        return HttpFailure::none;
    case CURLE_URL_MALFORMAT:
        return HttpFailure::badAddress;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return HttpFailure::cannotResolve;
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
        return HttpFailure::cannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
        return HttpFailure::timedOut;
    case CURLE_FILESIZE_EXCEEDED:
        return HttpFailure::tooLarge;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
        return HttpFailure::cutShort;
    default:
        return HttpFailure::other;
    }
}

// Bytes that cannot stand in a request line or a header value (blanks,
// control bytes, and the bytes of GBK characters) percent-encoded as a
// browser does; everything else byte for byte.
std::string encodeUnsafeBytes(std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            out.append({'%', kHex[byte >> 4], kHex[byte & 0x0F]});
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// The address curl connects to: scheme, host and port as parsed, path and
// query byte for byte except for the bytes `encodeUnsafeBytes` encodes.
std::string transferAddress(const HttpAddress& address)
{
    HttpAddress sent = address;
    sent.path = encodeUnsafeBytes(address.path);
    if (address.query) {
        sent.query = encodeUnsafeBytes(*address.query);
    }
    return sent.textWithoutFragment();
}

std::string userAgent(std::string_view headers)
{
    if (text::find(headers, "User-Agent:", 1, true) == -1) {
        return std::string(kDefaultAgent);
    }
    std::string agent = text::trimSpaces(text::between(headers, "User-Agent:", "\r\n"));
    if (agent.empty()) {
        const int colon = text::find(headers, ":");
        agent = text::trimSpaces(headers.substr(static_cast<std::size_t>(colon)));
    }
    // The fallback above can reach past the end of the line; a line break in
    // the agent would smuggle further header lines into the request.
    agent.resize(std::min(agent.size(), agent.find_first_of("\r\n")));
    return agent;
}

std::string completeHeaders(std::string block, std::string_view url, const std::string* cookieJar)
{
    if (text::find(block, "Accept:") == -1) {
        block.append(block.empty() ? "Accept: */*" : "\r\nAccept: */*");
    }
    if (text::find(block, "Referer:") == -1) {
        block.append("\r\nReferer: ").append(encodeUnsafeBytes(url));
    }
    if (text::find(block, "Accept-Language:") == -1) {
        block.append("\r\nAccept-Language: zh-cn");
    }
    if (text::find(block, "Content-Type:") == -1) {
        block.append("\r\nContent-Type: application/x-www-form-urlencoded");
    }
    if (cookieJar != nullptr && !cookieJar->empty()) {
        block.append("\r\nCookie: ").append(*cookieJar);
    }
    return block;
}

// The first name=value pair of every Set-Cookie line, joined by "; ".
std::string cookiesFrom(std::string_view headerBlock)
{
    std::string cookies;
    for (const std::string& line : text::split(headerBlock, "\r\n")) {
        if (text::find(line, "Set-Cookie") == -1) {
            continue;
        }
        if (text::find(line, ";") == -1) {
            cookies.append(text::trimSpaces(text::replaceAll(line, "Set-Cookie:", "", true)));
        } else {
            cookies.append(text::trimSpaces(text::between(line, "Set-Cookie:", ";")));
        }
        cookies.append("; ");
    }
    cookies.resize(cookies.size() - std::min<std::size_t>(cookies.size(), 2));
    return cookies;
}

// Reports a call that got no response header block.
std::string noResponse(std::string* receivedCookies, std::string* responseHeaders)
{
    if (responseHeaders != nullptr) {
        responseHeaders->assign(kNoResponseHeaderLength, ' ');
    }
    if (receivedCookies != nullptr) {
        receivedCookies->clear();
    }
    return {};
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

void setHttpConnectionReuse(bool reuse)
{
    connectionReuse.store(reuse);
}

void setHttpTimeouts(int connectSeconds, int idleSeconds)
{
    connectTimeoutSeconds.store(std::max(connectSeconds, 1));
    idleTimeoutSeconds.store(std::max(idleSeconds, 1));
}

std::string HttpRequest(std::string_view url, int method, std::string_view postText, std::string* cookieJar,
                        std::string* receivedCookies, std::string* headers, std::string* responseHeaders,
                        bool noRedirect, std::string* postBytes, std::string_view proxy, const HttpCallOptions& options)
{
    HttpOutcome scratch;
    HttpOutcome& outcome = options.outcome != nullptr ? *options.outcome : scratch;
    outcome = HttpOutcome{};
    const HttpLimits limits = httpLimits();
    Watchdog watchdog(limits, idleTimeoutSeconds.load(), options.cancel);

    const std::optional<HttpAddress> address = parseHttpAddress(url);
    if (!address || watchdog.cancelled()) {
        outcome.failure = address ? HttpFailure::cancelled : HttpFailure::badAddress;
        outcome.detail = address ? "cancelled" : "not an http or https address";
        return noResponse(receivedCookies, responseHeaders);
    }
    initCurlOnce();
    Handles ownHandles;
    Handles* handles = acquireHandles(ownHandles);
    if (handles == nullptr) {
        outcome.failure = HttpFailure::other;
        outcome.detail = "out of memory";
        return noResponse(receivedCookies, responseHeaders);
    }
    CURL* handle = handles->easy.get();

    if (method < 0 || method > 2) {
        method = 0;
    }
    std::string block = headers != nullptr ? *headers : std::string();
    const std::string agent = userAgent(block);
    block = completeHeaders(std::move(block), url, cookieJar);
    if (headers != nullptr) {
        *headers = block;
    }
    std::string body;
    if (method != 0) {
        body = postBytes != nullptr && !postBytes->empty() ? *postBytes : std::string(postText);
        if (postBytes != nullptr) {
            *postBytes = body;
        }
    }

    curl::HeaderList requestLines;
    for (const std::string& line : text::split(block, "\r\n")) {
        if (!line.empty()) {
            requestLines.append(line);
        }
    }
    // An empty value keeps curl from adding a line of its own by that name.
    requestLines.append("Accept:");
    requestLines.append("Content-Type:");
    requestLines.append("Expect:");
    curl::HeaderList proxyLines;
    proxyLines.append("Proxy-Connection:");

    const std::string target = transferAddress(*address);
    std::string proxyAddress;
    if (!proxy.empty()) {
        proxyAddress = text::find(proxy, "://") == -1 ? "http://" + std::string(proxy) : std::string(proxy);
    }

    Response response;
    response.cap = limits.maxBodyBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(handle, CURLOPT_URL, target.c_str());
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(handle, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(handle, CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, requestLines.get());
    curl_easy_setopt(handle, CURLOPT_PROXYHEADER, proxyLines.get());
    curl_easy_setopt(handle, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, noRedirect ? 0L : 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, kMaxRedirects);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(connectTimeoutSeconds.load()));
    if (method != 2) {
        // Refuses at once a body whose announced length is past the cap (a
        // HEAD response announces a body it does not send).
        curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBodyBytes));
    }
    // An explicit empty proxy keeps http_proxy and its kin out of the way.
    curl_easy_setopt(handle, CURLOPT_PROXY, proxyAddress.c_str());
    curl_easy_setopt(handle, CURLOPT_NOPROXY, "");
    curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, &response);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
    if (method == 0) {
        curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
    } else if (method == 1) {
        curl_easy_setopt(handle, CURLOPT_POST, 1L);
        curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    } else {
        // curl reads no body after a HEAD, and it sends none with one either:
        // a body given for HEAD is kept in `postBytes` but not sent.
        curl_easy_setopt(handle, CURLOPT_NOBODY, 1L);
    }
    const bool useCookieStore = cookieJar == nullptr;
    curl_easy_setopt(handle, CURLOPT_SHARE, useCookieStore ? cookieStore().get() : nullptr);
    if (useCookieStore) {
        curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");  // turns the cookie engine on, reads no file
    }

    CURLM* multi = handles->multi.get();
    CURLcode result = CURLE_FAILED_INIT;
    HttpFailure stopped = HttpFailure::none;
    if (curl_multi_add_handle(multi, handle) == CURLM_OK) {
        for (;;) {
            int running = 0;
            if (curl_multi_perform(multi, &running) != CURLM_OK) {
                break;
            }
            if (running == 0) {
                int queued = 0;
                while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                    if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
                        result = message->data.result;
                    }
                }
                break;
            }
            curl_off_t uploaded = 0;
            curl_easy_getinfo(handle, CURLINFO_SIZE_UPLOAD_T, &uploaded);
            stopped = watchdog.check(response.received, uploaded, outcome.detail);
            if (stopped != HttpFailure::none) {
                break;
            }
            curl_multi_poll(multi, nullptr, 0, kWaitSliceMs, nullptr);
        }
        // Ends a transfer still running; its connection is closed, not kept.
        curl_multi_remove_handle(multi, handle);
    }

    // curl has a limit of its own on the header block, reported as a receive error.
    const bool overCap = response.overCap || std::string_view(errorText).starts_with("Too large");
    outcome.failure = stopped != HttpFailure::none ? stopped : failureOf(result, overCap);
    if (stopped == HttpFailure::none && result != CURLE_OK) {
        outcome.detail = errorText[0] != '\0' ? errorText : curl_easy_strerror(result);
    }
    if (outcome.failure == HttpFailure::tooLarge) {
        outcome.detail = "response over " + text::decimal(static_cast<long long>(limits.maxBodyBytes)) + " bytes";
    }
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &outcome.status);
    long redirects = 0;
    curl_easy_getinfo(handle, CURLINFO_REDIRECT_COUNT, &redirects);
    char* effective = nullptr;
    curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &effective);
    outcome.finalUrl = redirects > 0 && effective != nullptr ? effective : address->textWithoutFragment();
    outcome.bodyBytes = response.body.size();
    outcome.seconds = secondsSince(watchdog.start());

    if (useCookieStore) {
        // Releases the list of cookie files, which a reset would leak; the
        // shared store itself stays, as the handle is still attached to it.
        curl_easy_setopt(handle, CURLOPT_COOKIEFILE, nullptr);
    }
    curl_easy_setopt(handle, CURLOPT_SHARE, nullptr);
    curl_easy_reset(handle);

    if (!response.headersComplete) {
        outcome.status = 0;
        return noResponse(receivedCookies, responseHeaders);
    }
    outcome.contentType = responseHeaderValue(response.headerBlock, "Content-Type");
    outcome.retryAfter = responseHeaderValue(response.headerBlock, "Retry-After");
    std::string rawHeaders = text::replaceAll(response.headerBlock, "Set-Cookie", "Set-Cookie", true);
    std::string cookies = cookiesFrom(rawHeaders);
    if (cookieJar != nullptr) {
        MergeCookies(*cookieJar, cookies);
    }
    if (responseHeaders != nullptr) {
        *responseHeaders = std::move(rawHeaders);
    }
    if (receivedCookies != nullptr) {
        *receivedCookies = std::move(cookies);
    }
    return outcome.failure == HttpFailure::none ? std::move(response.body) : std::string();
}

}  // namespace velmora
