#include "web/HttpRequest.h"
#include "support/Gzip.h"

#include "support/LocalProxy.h"
#include "support/LoopbackServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

using velmora::test::gzipBytes;

using namespace velmora;
using test::LoopbackServer;
using test::RecordedRequest;
using test::Reply;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

const std::string kAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
const std::string kFormType = "application/x-www-form-urlencoded";
const std::string kNoResponse(5000, ' ');

// The single request the server received.
RecordedRequest onlyRequest(const LoopbackServer& server)
{
    const std::vector<RecordedRequest> requests = server.requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? RecordedRequest{} : requests.front();
}

// Puts the process-wide knobs back for the next test.
class HttpRequestTest : public testing::Test {
protected:
    void TearDown() override
    {
        setHttpTimeouts(30, 60);
        setHttpConnectionReuse(true);
    }
};

TEST_F(HttpRequestTest, PlainGetPutsExactlyTheDefaultLinesOnTheWire)
{
    Reply reply = Reply::text("hello");
    reply.headers = {"X-Served-By: loopback"};
    LoopbackServer server([&](const RecordedRequest&) { return reply; });
    const std::string url = server.url("/b");

    EXPECT_EQ(HttpRequest(url), "hello");
    std::string headers;
    std::string responseHeaders;
    EXPECT_EQ(HttpRequest(url, 0, {}, nullptr, nullptr, &headers, &responseHeaders), "hello");

    const std::vector<RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const RecordedRequest& request : requests) {
        EXPECT_EQ(request.requestLine, "GET /b HTTP/1.1");
        EXPECT_THAT(request.headerLines, ElementsAre("Host: 127.0.0.1:" + std::to_string(server.port()),
                                                     "User-Agent: " + kAgent, "Accept: */*", "Referer: " + url,
                                                     "Accept-Language: zh-cn", "Content-Type: " + kFormType));
        EXPECT_EQ(request.body, "");
    }
    EXPECT_EQ(headers, "Accept: */*\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\nContent-Type: " + kFormType);
    EXPECT_EQ(responseHeaders, reply.head());
}

struct PathCase {
    std::string path;
    std::string target;  // as it should stand in the request line
};

void PrintTo(const PathCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.path);
}

class RequestPathTest : public testing::TestWithParam<PathCase> {};

TEST_P(RequestPathTest, SendsPathAsGiven)
{
    LoopbackServer server;
    EXPECT_EQ(HttpRequest(server.url(GetParam().path)), "ok");
    EXPECT_EQ(onlyRequest(server).requestLine, "GET " + GetParam().target + " HTTP/1.1");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RequestPathTest, testing::Values(
    PathCase{"/list/1.html?x=1&y=%20", "/list/1.html?x=1&y=%20"},
    PathCase{"/a/./../b", "/a/./../b"},
    // Neither GBK bytes nor blanks can stand in a request line.
    PathCase{"/\xCA\xE9 1.html", "/%CA%E9%201.html"},
    PathCase{"/p#part", "/p"}
));
// clang-format on

struct MethodCase {
    int method;
    std::string postText;
    std::string postBytes;
    std::string verb;
    std::string sentBody;
    std::string postBytesAfter;
    std::string result;
};

void PrintTo(const MethodCase& c, std::ostream* os)
{
    *os << "method " << c.method << " text of " << c.postText.size() << " bytes, bytes " << c.postBytes;
}

class MethodTest : public testing::TestWithParam<MethodCase> {};

TEST_P(MethodTest, SendsVerbAndBody)
{
    const MethodCase& c = GetParam();
    LoopbackServer server([](const RecordedRequest&) { return Reply::text("reply"); });
    std::string postBytes = c.postBytes;

    EXPECT_EQ(
        HttpRequest(server.url("/m"), c.method, c.postText, nullptr, nullptr, nullptr, nullptr, false, &postBytes),
        c.result);

    const RecordedRequest request = onlyRequest(server);
    EXPECT_EQ(request.requestLine, c.verb + " /m HTTP/1.1");
    EXPECT_EQ(request.body, c.sentBody);
    EXPECT_EQ(postBytes, c.postBytesAfter);
    EXPECT_EQ(request.headerCount("Expect"), 0);
    EXPECT_EQ(request.headerCount("Accept"), 1);
    EXPECT_EQ(request.headerCount("Content-Type"), 1);
    EXPECT_EQ(request.header("Content-Type"), kFormType);
    if (c.verb == "POST") {
        EXPECT_EQ(request.header("Content-Length"), std::to_string(c.sentBody.size()));
    } else {
        EXPECT_EQ(request.headerCount("Content-Length"), 0);
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, MethodTest, testing::Values(
    MethodCase{7, "a=1", "", "GET", "", "", "reply"},
    MethodCase{-1, "a=1", "kept", "GET", "", "kept", "reply"},
    MethodCase{1, "a=1", "", "POST", "a=1", "a=1", "reply"},
    MethodCase{1, "ignored", "b=2", "POST", "b=2", "b=2", "reply"},
    MethodCase{1, "", "", "POST", "", "", "reply"},
    // Past the size at which curl would ask "Expect: 100-continue".
    MethodCase{1, std::string(1100000, 'x'), "", "POST", std::string(1100000, 'x'), std::string(1100000, 'x'), "reply"},
    MethodCase{2, "q=1", "", "HEAD", "", "q=1", ""},
    MethodCase{2, "", "", "HEAD", "", "", ""}
));
// clang-format on

struct AgentCase {
    std::string headers;
    std::string agent;
    std::vector<std::string> accepts;  // values of the Accept lines, any spelling
    std::string completed;             // without the Referer line and what follows
};

void PrintTo(const AgentCase& c, std::ostream* os)
{
    *os << testing::PrintToString(c.headers);
}

class UserAgentTest : public testing::TestWithParam<AgentCase> {};

TEST_P(UserAgentTest, TakesAgentFromCallerLines)
{
    const AgentCase& c = GetParam();
    LoopbackServer server;
    const std::string url = server.url("/ua");
    std::string headers = c.headers;

    EXPECT_EQ(HttpRequest(url, 0, {}, nullptr, nullptr, &headers), "ok");

    const RecordedRequest request = onlyRequest(server);
    EXPECT_EQ(request.headerCount("User-Agent"), 1);
    EXPECT_EQ(request.header("User-Agent"), c.agent);
    std::vector<std::string> accepts;
    for (const std::string& line : request.headerLines) {
        if (line.size() > 7 && (line.starts_with("Accept:") || line.starts_with("accept:"))) {
            accepts.push_back(line.substr(8));
        }
    }
    EXPECT_EQ(accepts, c.accepts);
    EXPECT_EQ(request.headerCount("Foo"), c.headers.find("Foo") == std::string::npos ? 0 : 1);
    EXPECT_EQ(headers,
              c.completed + "\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\nContent-Type: " + kFormType);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, UserAgentTest, testing::Values(
    AgentCase{"User-Agent: X\r\nAccept: text/html", "X", {"text/html"}, "User-Agent: X\r\nAccept: text/html"},
    AgentCase{"user-agent: Y", "Y", {"*/*"}, "user-agent: Y\r\nAccept: */*"},
    AgentCase{"accept: text/html", kAgent, {"text/html", "*/*"}, "accept: text/html\r\nAccept: */*"},
    // The agent text found past the line's end stops at the line break
    // instead of carrying the next line along.
    AgentCase{"X-Note: user-agent:Q\r\nFoo: bar", "user-agent:Q", {"*/*"},
              "X-Note: user-agent:Q\r\nFoo: bar\r\nAccept: */*"}
));
// clang-format on

TEST_F(HttpRequestTest, ReturnsCompressedBodyUntouched)
{
    const std::string packed = gzipBytes(std::string(3000, 'z') + "chapter");
    Reply reply = Reply::text(packed);
    reply.headers = {"Content-Encoding: gzip"};
    LoopbackServer server([&](const RecordedRequest&) { return reply; });

    EXPECT_EQ(HttpRequest(server.url("/gz")), packed);
    const RecordedRequest request = onlyRequest(server);
    EXPECT_EQ(request.headerCount("Accept-Encoding"), 0);
    EXPECT_EQ(request.headerCount("TE"), 0);
}

TEST_F(HttpRequestTest, ReportsSetCookieInOneSpelling)
{
    Reply reply = Reply::text("c");
    reply.headers = {"set-cookie: sid=1; path=/", "Set-Cookie: t=2", "X-Other: 3"};
    LoopbackServer server([&](const RecordedRequest&) { return reply; });
    std::string received;
    std::string responseHeaders;

    // A host name of its own keeps these cookies away from the other tests'.
    HttpRequest("http://localhost:" + std::to_string(server.port()) + "/c", 0, {}, nullptr, &received, nullptr,
                &responseHeaders);

    EXPECT_EQ(received, "sid=1; t=2");
    EXPECT_EQ(responseHeaders, "HTTP/1.1 200 OK\r\nSet-Cookie: sid=1; path=/\r\nSet-Cookie: t=2\r\nX-Other: 3\r\n"
                               "Content-Length: 1\r\n\r\n");
}

TEST_F(HttpRequestTest, FollowsRedirectsUnlessTold)
{
    LoopbackServer target([](const RecordedRequest&) {
        Reply reply = Reply::text("final");
        reply.headers = {"X-Final: yes"};
        return reply;
    });
    LoopbackServer tlsTarget;  // speaks plain HTTP: a TLS hello shows up as bytes that are not HTTP
    const Reply toTarget = Reply::redirect(target.url("/final"));
    const Reply toTls = Reply::redirect("https://127.0.0.1:" + std::to_string(tlsTarget.port()) + "/secure", 301);
    LoopbackServer origin([&](const RecordedRequest& request) {
        return request.requestLine.starts_with("GET /tls ") ? toTls : toTarget;
    });
    std::string responseHeaders;

    EXPECT_EQ(HttpRequest(origin.url("/r"), 0, {}, nullptr, nullptr, nullptr, &responseHeaders), "final");
    EXPECT_EQ(responseHeaders, "HTTP/1.1 200 OK\r\nX-Final: yes\r\nContent-Length: 5\r\n\r\n");
    EXPECT_EQ(target.requests().size(), 1u);

    EXPECT_EQ(HttpRequest(origin.url("/r"), 0, {}, nullptr, nullptr, nullptr, &responseHeaders, true), "moved");
    EXPECT_EQ(responseHeaders, toTarget.head());
    EXPECT_EQ(target.requests().size(), 1u);

    EXPECT_EQ(HttpRequest(origin.url("/tls"), 0, {}, nullptr, nullptr, nullptr, &responseHeaders), "");
    const std::vector<RecordedRequest> hello = tlsTarget.requests();
    ASSERT_EQ(hello.size(), 1u);
    EXPECT_EQ(hello[0].raw.substr(0, 1), "\x16");  // TLS handshake record
}

TEST_F(HttpRequestTest, CookieJarIsSentAndMerged)
{
    Reply reply = Reply::text("j");
    reply.headers = {"Set-Cookie: b=3; path=/", "Set-Cookie: c=4"};
    LoopbackServer server([&](const RecordedRequest&) { return reply; });

    std::string jar;
    std::string received;
    HttpRequest(server.url("/empty"), 0, {}, &jar, &received);
    EXPECT_EQ(jar, "b=3; c=4");
    EXPECT_EQ(received, "b=3;c=4");

    jar = "a=1; b=2";
    std::string headers;
    HttpRequest(server.url("/full"), 0, {}, &jar, nullptr, &headers);
    EXPECT_EQ(jar, "b=3; c=4; a=1");
    EXPECT_THAT(headers, testing::EndsWith("\r\nCookie: a=1; b=2"));

    const std::vector<RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].headerCount("Cookie"), 0);
    EXPECT_EQ(requests[1].headerCount("Cookie"), 1);
    EXPECT_EQ(requests[1].header("Cookie"), "a=1; b=2");
}

TEST_F(HttpRequestTest, SharedCookieStoreServesOnlyCallsWithoutJar)
{
    // The store outlives the test; a folder of the test's own keeps its
    // cookies away from the next run in the same process.
    LoopbackServer server([](const RecordedRequest& request) {
        const std::string path = request.requestLine.substr(4, request.requestLine.rfind(' ') - 4);
        const std::string folder = path.substr(0, path.find('/', 1));
        Reply reply = Reply::text("s");
        if (path.ends_with("/set")) {
            reply.headers = {"Set-Cookie: kept=1; path=" + folder};
        } else if (path.find("/jar") != std::string::npos) {
            reply.headers = {"Set-Cookie: jarred=1; path=" + folder};
        }
        return reply;
    });
    const std::string folder = "/store" + std::to_string(server.port());

    HttpRequest(server.url(folder + "/set"));
    HttpRequest(server.url(folder + "/check"));
    std::string emptyJar;
    HttpRequest(server.url(folder + "/jar1"), 0, {}, &emptyJar);
    std::string jar = "j=9";
    HttpRequest(server.url(folder + "/jar2"), 0, {}, &jar);
    HttpRequest(server.url(folder + "/after"));

    const std::vector<RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].headerCount("Cookie"), 0);
    EXPECT_EQ(requests[1].header("Cookie"), "kept=1");
    EXPECT_EQ(requests[2].headerCount("Cookie"), 0);
    EXPECT_EQ(requests[3].headerCount("Cookie"), 1);
    EXPECT_EQ(requests[3].header("Cookie"), "j=9");
    EXPECT_EQ(requests[4].headerCount("Cookie"), 1);
    EXPECT_EQ(requests[4].header("Cookie"), "kept=1");
    EXPECT_EQ(emptyJar, "jarred=1");
}

TEST_F(HttpRequestTest, GoesThroughForwardProxy)
{
    test::LocalProxy proxy;
    ASSERT_TRUE(proxy.running()) << proxy.error();
    LoopbackServer server;

    EXPECT_EQ(
        HttpRequest(server.url("/via"), 0, {}, nullptr, nullptr, nullptr, nullptr, false, nullptr, proxy.address()),
        "ok");

    const RecordedRequest request = onlyRequest(server);
    EXPECT_EQ(request.requestLine, "GET /via HTTP/1.1");
    EXPECT_THAT(request.header("Via"), HasSubstr("tinyproxy"));
    EXPECT_EQ(request.header("User-Agent"), kAgent);
}

TEST_F(HttpRequestTest, TunnelsHttpsThroughProxy)
{
    LoopbackServer proxy([](const RecordedRequest&) {
        Reply refusal = Reply::text("no");
        refusal.status = 403;
        return refusal;
    });
    std::string responseHeaders;

    EXPECT_EQ(HttpRequest("https://secure.invalid/x", 0, {}, nullptr, nullptr, nullptr, &responseHeaders, false,
                          nullptr, "127.0.0.1:" + std::to_string(proxy.port())),
              "");

    const RecordedRequest request = onlyRequest(proxy);
    EXPECT_EQ(request.requestLine, "CONNECT secure.invalid:443 HTTP/1.1");
    EXPECT_EQ(request.headerCount("Proxy-Connection"), 0);
    EXPECT_EQ(responseHeaders, kNoResponse);
}

TEST_F(HttpRequestTest, IgnoresProxyEnvironment)
{
    LoopbackServer trap;
    LoopbackServer server;
    const std::string trapAddress = "http://127.0.0.1:" + std::to_string(trap.port());
    const std::vector<std::string> names = {"http_proxy", "HTTP_PROXY", "https_proxy", "all_proxy", "ALL_PROXY"};
    for (const std::string& name : names) {
        setenv(name.c_str(), trapAddress.c_str(), 1);
    }

    const std::string body = HttpRequest(server.url("/direct"));

    for (const std::string& name : names) {
        unsetenv(name.c_str());
    }
    EXPECT_EQ(body, "ok");
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(trap.requests().size(), 0u);
}

TEST_F(HttpRequestTest, UnresolvableHostLeavesNoResponse)
{
    // A label longer than 63 bytes cannot be put into a DNS query, so the
    // look-up fails on this machine without asking any name server.
    const std::string url = "http://" + std::string(70, 'x') + ".invalid/x";
    std::string jar = "a=1; b=2";
    std::string received = "stale=1";
    std::string headers;
    std::string responseHeaders = "stale";

    EXPECT_EQ(HttpRequest(url, 0, {}, &jar, &received, &headers, &responseHeaders), "");

    EXPECT_EQ(responseHeaders, kNoResponse);
    EXPECT_EQ(received, "");
    EXPECT_EQ(jar, "a=1; b=2");
    EXPECT_THAT(headers, testing::StartsWith("Accept: */*\r\nReferer: " + url));
}

TEST_F(HttpRequestTest, HttpsSchemeInCapitalsSpeaksTls)
{
    LoopbackServer server;
    std::string responseHeaders;

    EXPECT_EQ(HttpRequest("HTTPS://127.0.0.1:" + std::to_string(server.port()) + "/x", 0, {}, nullptr, nullptr, nullptr,
                          &responseHeaders),
              "");

    EXPECT_EQ(onlyRequest(server).raw.substr(0, 1), "\x16");
    EXPECT_EQ(responseHeaders, kNoResponse);
}

TEST_F(HttpRequestTest, SilentServerTimesOut)
{
    setHttpTimeouts(1, 1);
    LoopbackServer server([](const RecordedRequest&) {
        Reply reply;
        reply.neverAnswer = true;
        return reply;
    });
    std::string responseHeaders;
    const auto start = std::chrono::steady_clock::now();

    EXPECT_EQ(HttpRequest(server.url("/silent"), 0, {}, nullptr, nullptr, nullptr, &responseHeaders), "");

    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(responseHeaders, kNoResponse);
}

struct CutCase {
    const char* name;
    Reply::Cut cut;
};

void PrintTo(const CutCase& c, std::ostream* os)
{
    *os << c.name;
}

class BrokenBodyTest : public testing::TestWithParam<CutCase> {
protected:
    void TearDown() override { setHttpTimeouts(30, 60); }
};

// A body that does not arrive whole is no page: the call gives an empty body
// (so callers retry), while the header block that did arrive is reported.
TEST_P(BrokenBodyTest, GivesEmptyBodyAndTheHeaders)
{
    setHttpTimeouts(1, 1);
    Reply reply = Reply::text(std::string(100, 'b'));
    reply.headers = {"Set-Cookie: part=1"};
    reply.cut = GetParam().cut;
    reply.cutAfter = 10;
    LoopbackServer server([&](const RecordedRequest&) { return reply; });
    std::string jar;
    std::string responseHeaders;

    EXPECT_EQ(HttpRequest(server.url("/cut"), 0, {}, &jar, nullptr, nullptr, &responseHeaders), "");

    EXPECT_EQ(responseHeaders, reply.head());
    EXPECT_EQ(jar, "part=1");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, BrokenBodyTest, testing::Values(CutCase{"reset", Reply::Cut::reset},
                                                                CutCase{"stall", Reply::Cut::stall}),
                         [](const testing::TestParamInfo<CutCase>& caseInfo) {
                             return std::string(caseInfo.param.name);
                         });
// clang-format on

TEST_F(HttpRequestTest, KeepsHugeHeaderBlockWhole)
{
    Reply reply = Reply::text(gzipBytes("page"));
    for (int i = 0; i < 200; ++i) {
        reply.headers.push_back("Set-Cookie: c" + std::to_string(i) + "=" + std::string(80, 'v') + "; path=/");
    }
    reply.headers.push_back("Content-Encoding: gzip");
    LoopbackServer server([&](const RecordedRequest&) { return reply; });
    std::string jar;
    std::string responseHeaders;

    EXPECT_EQ(HttpRequest(server.url("/big"), 0, {}, &jar, nullptr, nullptr, &responseHeaders), reply.body);

    EXPECT_GT(responseHeaders.size(), 20000u);
    EXPECT_EQ(responseHeaders, reply.head());
    EXPECT_THAT(jar, HasSubstr("c199=" + std::string(80, 'v')));
}

TEST_F(HttpRequestTest, ServesManyThreadsAtOnce)
{
    LoopbackServer server([](const RecordedRequest& request) { return Reply::text(request.requestLine); });
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 20; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                const std::string path = "/t" + std::to_string(t) + "/" + std::to_string(i);
                if (HttpRequest(server.url(path)) != "GET " + path + " HTTP/1.1") {
                    ++wrong;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(server.requests().size(), 400u);
}

TEST_F(HttpRequestTest, ReusesConnectionsWhenAllowed)
{
    for (const bool reuse : {true, false}) {
        setHttpConnectionReuse(reuse);
        LoopbackServer server;
        for (int i = 0; i < 10; ++i) {
            EXPECT_EQ(HttpRequest(server.url("/p" + std::to_string(i))), "ok");
        }
        EXPECT_EQ(server.connections(), reuse ? 1 : 10) << "reuse " << reuse;
    }
}

}  // namespace
