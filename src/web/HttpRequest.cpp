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

namespace velmora {
namespace {

constexpr std::string_view kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr std::size_t kNoResponseHeaderLength = 5000;
constexpr long kMaxRedirects = 20;

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

// With reuse on, each thread keeps one handle between calls: curl keeps that
// handle's open connections, resolved names and TLS sessions, so a run of
// pages from one site pays for one TCP and TLS handshake. The kept handle is
// always in its reset state between calls.
CURL* acquireHandle(curl::Easy& ownHandle)
{
    if (!connectionReuse.load()) {
        ownHandle.reset(curl_easy_init());
        return ownHandle.get();
    }
    thread_local curl::Easy kept;
    if (!kept) {
        kept.reset(curl_easy_init());
    }
    return kept.get();
}

using Clock = std::chrono::steady_clock;

struct Response {
    std::string body;
    std::string headerBlock; // the latest response's block, CR LF line ends
    bool inHeaderBlock = false;
    bool headersComplete = false;
    Clock::time_point lastActivity = Clock::now();
    curl_off_t uploaded = 0;
    Clock::duration idleLimit{};
};

size_t onBody(char* data, size_t size, size_t count, void* user)
{
    auto* response = static_cast<Response*>(user);
    response->lastActivity = Clock::now();
    try {
        response->body.append(data, size * count);
        return size * count;
    } catch (const std::bad_alloc&) {
        return 0; // aborts the transfer
    }
}

// curl hands over every header line of every response, redirects and
// interim responses included; a status line starts a new block, so the
// block left at the end is the final response's. Trailers after the body
// are not part of it.
size_t onHeader(char* data, size_t size, size_t count, void* user)
{
    auto* response = static_cast<Response*>(user);
    response->lastActivity = Clock::now();
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
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

// curl calls this about once a second while a transfer waits. Its own
// low-speed limit averages over several seconds; a plain "nothing moved for
// so long" rule is both closer to a browser and quicker to test.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t uploaded)
{
    auto* response = static_cast<Response*>(user);
    const Clock::time_point now = Clock::now();
    if (uploaded != response->uploaded) {
        response->uploaded = uploaded;
        response->lastActivity = now;
    }
    return now - response->lastActivity >= response->idleLimit ? 1 : 0;
}

// The address curl connects to: the scheme, host and port taken apart the
// program's own way, and the path byte for byte except for the bytes that
// cannot stand in a request line (blanks, control bytes and the bytes of
// GBK characters), which are percent-encoded as a browser does.
std::string transferAddress(std::string_view url, bool https)
{
    std::string address = https ? "https://" : "http://";
    address.append(UrlHost(url)).append(":").append(text::decimal(UrlPort(url)));
    static constexpr char hex[] = "0123456789ABCDEF";
    for (char c : UrlPath(url)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            address.append({'%', hex[byte >> 4], hex[byte & 0x0F]});
        } else {
            address.push_back(c);
        }
    }
    return address;
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
        block.append("\r\nReferer: ").append(url);
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

} // namespace

void setHttpConnectionReuse(bool reuse) { connectionReuse.store(reuse); }

void setHttpTimeouts(int connectSeconds, int idleSeconds)
{
    connectTimeoutSeconds.store(std::max(connectSeconds, 1));
    idleTimeoutSeconds.store(std::max(idleSeconds, 1));
}

std::string HttpRequest(std::string_view url, int method, std::string_view postText, std::string* cookieJar,
                        std::string* receivedCookies, std::string* headers, std::string* responseHeaders,
                        bool noRedirect, std::string* postBytes, std::string_view proxy)
{
    initCurlOnce();
    curl::Easy ownHandle;
    CURL* handle = acquireHandle(ownHandle);
    if (handle == nullptr) {
        return {};
    }

    if (method < 0 || method > 2) {
        method = 0;
    }
    const bool https = text::toLowerAscii(url.substr(0, 5)) == "https";
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

    const std::string address = transferAddress(url, https);
    std::string proxyAddress;
    if (!proxy.empty()) {
        proxyAddress = text::find(proxy, "://") == -1 ? "http://" + std::string(proxy) : std::string(proxy);
    }

    Response response;
    curl_easy_setopt(handle, CURLOPT_URL, address.c_str());
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
    response.idleLimit = std::chrono::seconds(idleTimeoutSeconds.load());
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &response);
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
        curl_easy_setopt(handle, CURLOPT_COOKIEFILE, ""); // turns the cookie engine on, reads no file
    }

    const CURLcode result = curl_easy_perform(handle);
    if (useCookieStore) {
        // Releases the list of cookie files, which a reset would leak; the
        // shared store itself stays, as the handle is still attached to it.
        curl_easy_setopt(handle, CURLOPT_COOKIEFILE, nullptr);
    }
    curl_easy_setopt(handle, CURLOPT_SHARE, nullptr);
    curl_easy_reset(handle);

    if (!response.headersComplete) {
        if (responseHeaders != nullptr) {
            responseHeaders->assign(kNoResponseHeaderLength, ' ');
        }
        if (receivedCookies != nullptr) {
            receivedCookies->clear();
        }
        return {};
    }
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
    return result == CURLE_OK ? std::move(response.body) : std::string();
}

} // namespace velmora
