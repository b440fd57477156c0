#include "support/LoopbackServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace velmora::test {
namespace {

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

std::string trim(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

std::string_view reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

bool sendAll(int socket, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

}  // namespace

std::string RecordedRequest::method() const
{
    return requestLine.substr(0, requestLine.find(' '));
}

std::string RecordedRequest::header(std::string_view name) const
{
    const std::string wanted = lower(name) + ":";
    for (const std::string& line : headerLines) {
        if (lower(line).starts_with(wanted)) {
            return trim(std::string_view(line).substr(wanted.size()));
        }
    }
    return {};
}

int RecordedRequest::headerCount(std::string_view name) const
{
    const std::string wanted = lower(name) + ":";
    return static_cast<int>(std::count_if(headerLines.begin(), headerLines.end(),
                                          [&](const std::string& line) { return lower(line).starts_with(wanted); }));
}

Reply Reply::text(std::string body)
{
    Reply reply;
    reply.body = std::move(body);
    return reply;
}

Reply Reply::redirect(std::string location, int status)
{
    Reply reply;
    reply.status = status;
    reply.headers.push_back("Location: " + location);
    reply.body = "moved";
    return reply;
}

std::string Reply::head() const
{
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason(status)) + "\r\n";
    for (const std::string& line : headers) {
        out += line + "\r\n";
    }
    if (contentLength) {
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    return out + "\r\n";
}

LoopbackServer::LoopbackServer(Handler handler, int port) : handler_(std::move(handler))
{
    if (!handler_) {
        handler_ = [](const RecordedRequest&) { return Reply::text("ok"); };
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address = loopback(port);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener_, 256) != 0
        || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0
        || ::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        throw std::runtime_error("loopback server cannot listen");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

LoopbackServer::~LoopbackServer()
{
    const char stop = 's';
    [[maybe_unused]] const ssize_t written = ::write(stopPipe_[1], &stop, 1);
    acceptor_.join();
    for (Connection& connection : live_) {
        connection.thread.join();
    }
    ::close(listener_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

std::string LoopbackServer::url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<RecordedRequest> LoopbackServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackServer::record(RecordedRequest request)
{
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(request));
}

bool LoopbackServer::waitReadable(int socket, int timeoutMs) const
{
    pollfd fds[2] = {{socket, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
    }
}

bool LoopbackServer::sleepUnlessStopped(std::chrono::milliseconds pause) const
{
    pollfd stop = {stopPipe_[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + pause;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return true;
        }
        if (::poll(&stop, 1, static_cast<int>(left.count())) > 0) {
            return false;
        }
    }
}

void LoopbackServer::waitForStop(int socket) const
{
    char scratch[4096];
    while (waitReadable(socket) && ::recv(socket, scratch, sizeof scratch, 0) > 0) {
    }
}

void LoopbackServer::acceptLoop()
{
    while (waitReadable(listener_)) {
        const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0) {
            continue;
        }
        // Join the threads of connections that have ended, so a long run
        // (a benchmark opening thousands of connections) stays small.
        live_.remove_if([](Connection& connection) {
            if (!connection.done.load()) {
                return false;
            }
            connection.thread.join();
            return true;
        });
        // A client that stops reading must not hold the server's shutdown.
        const timeval sendLimit{5, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
        const int noDelay = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        const int number = ++connections_;
        Connection& connection = live_.emplace_back();
        connection.thread = std::thread([this, socket, number, &connection] {
            serve(socket, number);
            ::close(socket);
            connection.done.store(true);
        });
    }
}

void LoopbackServer::serve(int socket, int number)
{
    std::string buffer;
    char chunk[16384];
    auto readMore = [&] {
        if (!waitReadable(socket)) {
            return false;
        }
        const ssize_t got = ::recv(socket, chunk, sizeof chunk, 0);
        if (got <= 0) {
            return false;
        }
        buffer.append(chunk, static_cast<std::size_t>(got));
        return true;
    };

    for (;;) {
        std::size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            // A client speaking something else (a TLS hello) is recorded and
            // dropped rather than waited for.
            if (!buffer.empty() && (buffer[0] < 'A' || buffer[0] > 'Z')) {
                RecordedRequest request;
                request.raw = buffer;
                request.connection = number;
                record(std::move(request));
                return;
            }
            if (!readMore()) {
                return;
            }
        }
        RecordedRequest request;
        request.connection = number;
        std::string_view head(buffer.data(), headEnd);
        std::size_t lineEnd = head.find("\r\n");
        request.requestLine = std::string(head.substr(0, lineEnd));
        while (lineEnd != std::string_view::npos) {
            const std::size_t next = head.find("\r\n", lineEnd + 2);
            request.headerLines.emplace_back(
                head.substr(lineEnd + 2, next == std::string_view::npos ? std::string_view::npos : next - lineEnd - 2));
            lineEnd = next;
        }
        const std::size_t bodyLength = std::strtoull(request.header("Content-Length").c_str(), nullptr, 10);
        const std::size_t total = headEnd + 4 + bodyLength;
        while (buffer.size() < total) {
            if (!readMore()) {
                return;
            }
        }
        request.body = buffer.substr(headEnd + 4, bodyLength);
        request.raw = buffer.substr(0, total);
        buffer.erase(0, total);
        const bool clientCloses = lower(request.header("Connection")) == "close";
        const bool isHead = request.method() == "HEAD";
        record(request);

        const Reply reply = handler_(request);
        if (reply.delay.count() > 0 && !sleepUnlessStopped(reply.delay)) {
            return;
        }
        if (reply.neverAnswer) {
            waitForStop(socket);
            return;
        }
        std::string_view body = isHead ? std::string_view() : std::string_view(reply.body);
        if (reply.cut != Reply::Cut::none) {
            body = body.substr(0, reply.cutAfter);
        }
        if (!sendAll(socket, reply.head().append(body))) {
            return;
        }
        for (std::size_t piece = 0; reply.stream && !isHead; ++piece) {
            if (reply.streamPause.count() > 0 && !sleepUnlessStopped(reply.streamPause)) {
                return;
            }
            const std::string bytes = reply.stream(piece);
            if (bytes.empty()) {
                break;
            }
            if (!sendAll(socket, bytes)) {
                return;
            }
        }
        if (reply.cut == Reply::Cut::reset) {
            const linger abort{1, 0};  // close with a reset rather than an orderly end
            ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return;
        }
        if (reply.cut == Reply::Cut::stall) {
            waitForStop(socket);
            return;
        }
        if (reply.close || clientCloses) {
            return;
        }
    }
}

int freeLoopbackPort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(probe);
    return port;
}

bool waitUntilListening(int port, std::chrono::milliseconds within)
{
    const auto deadline = std::chrono::steady_clock::now() + within;
    do {
        const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in address = loopback(port);
        const bool connected = ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        ::close(probe);
        if (connected) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace velmora::test
