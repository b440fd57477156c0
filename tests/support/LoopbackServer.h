#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

// A small HTTP/1.1 server on 127.0.0.1 for tests and benchmarks. It records
// every request byte for byte and answers from a handler. Connections are
// kept alive until the client closes them, so reuse can be counted.
namespace velmora::test {

struct RecordedRequest {
    std::string requestLine;               // e.g. "GET /b HTTP/1.1"
    std::vector<std::string> headerLines;  // in arrival order, without CR LF
    std::string body;
    std::string raw;     // every byte of the request; for bytes that are not HTTP, all that arrived
    int connection = 0;  // the connection it came on, counted from 1

    std::string method() const;
    // The value of the first header line called `name` (any letter case),
    // without the blanks around it; empty when there is none.
    std::string header(std::string_view name) const;
    int headerCount(std::string_view name) const;
};

struct Reply {
    enum class Cut { none, reset, stall };

    int status = 200;
    std::vector<std::string> headers;  // raw lines without CR LF, sent in order
    std::string body;
    bool contentLength = true;  // append "Content-Length: <body size>" to the headers
    bool close = false;         // close the connection after this reply
    std::chrono::milliseconds delay{0};
    bool neverAnswer = false;  // read on, never answer
    Cut cut = Cut::none;       // after `cutAfter` body bytes: reset the connection, or go silent
    std::size_t cutAfter = 0;
    // After the body, the pieces `stream` gives for 0, 1, 2, ... until one is
    // empty, the client goes away or the server stops, each after
    // `streamPause`: an endless or a dripping body. Called from the
    // connection's thread.
    std::function<std::string(std::size_t)> stream;
    std::chrono::milliseconds streamPause{0};

    static Reply text(std::string body);
    static Reply redirect(std::string location, int status = 302);

    // The exact header block sent: status line, header lines, empty line.
    std::string head() const;
};

class LoopbackServer {
public:
    // Called from the connection threads, possibly at the same time.
    using Handler = std::function<Reply(const RecordedRequest&)>;

    // Without a handler every request is answered 200 with the body "ok".
    // Port 0 takes a free port.
    explicit LoopbackServer(Handler handler = nullptr, int port = 0);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string url(std::string_view path = "/") const;
    std::vector<RecordedRequest> requests() const;
    int connections() const { return connections_.load(); }

private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void acceptLoop();
    void serve(int socket, int number);
    void record(RecordedRequest request);
    // Waits for `socket` to turn readable; false when the server stops or
    // the time runs out first.
    bool waitReadable(int socket, int timeoutMs = -1) const;
    // Reads and drops what arrives until the client closes or the server stops.
    void waitForStop(int socket) const;
    // False when the server stops before `pause` has passed.
    bool sleepUnlessStopped(std::chrono::milliseconds pause) const;

    Handler handler_;
    int listener_ = -1;
    int stopPipe_[2] = {-1, -1};
    int port_ = 0;
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::list<Connection> live_;  // touched by the accept thread, then by the destructor
    std::thread acceptor_;
};

// A loopback port that was free a moment ago.
int freeLoopbackPort();

// Whether something accepts connections on the loopback port, tried until
// `within` has passed.
bool waitUntilListening(int port, std::chrono::milliseconds within);

}  // namespace velmora::test
