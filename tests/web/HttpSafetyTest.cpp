// What keeps one bad server or one bad address from harming the program:
// caps, deadlines, the lowest rate, cancel, address checks and the outcome.
#include "web/HttpRequest.h"

#include "support/Eventually.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace velmora;
using test::LoopbackServer;
using test::RecordedRequest;
using test::Reply;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kNoResponse(5000, ' ');
constexpr std::size_t kTestCap = std::size_t{128} << 10;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A reply that keeps sending `piece` every `pause` after its headers, never ending.
Reply endless(std::string piece, milliseconds pause = milliseconds(0))
{
    Reply reply;
    reply.contentLength = false;
    reply.stream = [piece](std::size_t) { return piece; };
    reply.streamPause = pause;
    return reply;
}

// Puts the process-wide knobs back for the next test.
class HttpSafetyTest : public testing::Test {
protected:
    void TearDown() override
    {
        setHttpLimits(HttpLimits{});
        setHttpTimeouts(30, 60);
    }
};

struct OverCapCase {
    const char* name;
    std::function<Reply()> reply;
};

void PrintTo(const OverCapCase& c, std::ostream* os)
{
    *os << c.name;
}

class OverCapTest : public HttpSafetyTest, public testing::WithParamInterface<OverCapCase> {};

// Without a cap an endless body grew by gigabytes until the allocation failed.
TEST_P(OverCapTest, FailsAsTooLargeOnceTheCapIsPassed)
{
    HttpLimits limits;
    limits.maxBodyBytes = kTestCap;
    setHttpLimits(limits);
    const Reply reply = GetParam().reply();
    LoopbackServer server([&](const RecordedRequest&) { return reply; });
    HttpOutcome outcome;
    const auto start = Clock::now();

    EXPECT_EQ(HttpRequest(server.url("/big"), 0, {}, nullptr, nullptr, nullptr, nullptr, false, nullptr, {},
                          {.outcome = &outcome}),
              "");

    EXPECT_LT(secondsSince(start), 30.0);  // the deadline (120 s) did not end it
    EXPECT_EQ(outcome.failure, HttpFailure::tooLarge) << outcome.detail;
    EXPECT_LE(outcome.bodyBytes, kTestCap);
    EXPECT_EQ(describeHttpOutcome(outcome), "响应过大");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, OverCapTest, testing::Values(
    OverCapCase{"EndlessBody", [] { return endless(std::string(65536, 'x')); }},
    OverCapCase{"AnnouncedLength", [] { return Reply::text(std::string(kTestCap + 1, 'x')); }},
    OverCapCase{"HugeHeaderBlock", [] {
        Reply reply = Reply::text("small");
        for (int i = 0; i < 200; ++i) { // 200 kB: under curl's own limit, over the cap
            reply.headers.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'h'));
        }
        return reply;
    }}
), [](const testing::TestParamInfo<OverCapCase>& caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

TEST_F(HttpSafetyTest, HeadOfALargeBodyIsNoFailure)
{
    HttpLimits limits;
    limits.maxBodyBytes = kTestCap;
    setHttpLimits(limits);
    LoopbackServer server([](const RecordedRequest&) { return Reply::text(std::string(2 * kTestCap, 'x')); });
    HttpOutcome outcome;
    std::string responseHeaders;

    HttpRequest(server.url("/big"), 2, {}, nullptr, nullptr, nullptr, &responseHeaders, false, nullptr, {},
                {.outcome = &outcome});

    EXPECT_EQ(outcome.failure, HttpFailure::none) << outcome.detail;
    EXPECT_EQ(outcome.status, 200);
    EXPECT_NE(responseHeaders.find("Content-Length: " + std::to_string(2 * kTestCap)), std::string::npos);
}

struct SlowCase {
    const char* name;
    Reply reply;
    HttpFailure failure;
};

void PrintTo(const SlowCase& c, std::ostream* os)
{
    *os << c.name;
}

class SlowServerTest : public HttpSafetyTest, public testing::WithParamInterface<SlowCase> {};

// Each byte used to reset the idle time-out, so a dripping server held a
// worker for ever.
TEST_P(SlowServerTest, EndsByRateOrDeadline)
{
    HttpLimits limits;
    limits.totalSeconds = 4;
    limits.lowSpeedBytesPerSecond = 1000;
    limits.lowSpeedSeconds = 1;
    setHttpLimits(limits);
    const SlowCase& c = GetParam();
    LoopbackServer server([&](const RecordedRequest&) { return c.reply; });
    HttpOutcome outcome;

    const std::string body = HttpRequest(server.url("/slow"), 0, {}, nullptr, nullptr, nullptr, nullptr, false, nullptr,
                                         {}, {.outcome = &outcome});

    EXPECT_EQ(outcome.failure, c.failure) << outcome.detail;
    EXPECT_LT(outcome.seconds, 30.0);
    if (c.failure == HttpFailure::none) {
        EXPECT_EQ(body, c.reply.body);
    } else {
        EXPECT_EQ(body, "");
        EXPECT_EQ(outcome.status, 200);  // the headers came, the body never ended
    }
}

Reply thinksBeforeAnswering()
{
    Reply reply = Reply::text(std::string(5000, 'p'));
    reply.delay = milliseconds(1500);
    return reply;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, SlowServerTest, testing::Values(
    // 10 bytes a second, far below 1000.
    SlowCase{"DripsBelowTheLowestRate", endless("x", milliseconds(100)), HttpFailure::tooSlow},
    // 20,000 bytes a second is fast enough, even on a busy machine, but the body never ends.
    SlowCase{"PassesTheDeadline", endless(std::string(2000, 'x'), milliseconds(100)), HttpFailure::timedOut},
    // Before the first byte only the idle time-out and the deadline count.
    SlowCase{"ThinksLongerThanTheRateWindow", thinksBeforeAnswering(), HttpFailure::none}
), [](const testing::TestParamInfo<SlowCase>& caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

struct CancelCase {
    const char* name;
    Reply reply;
};

void PrintTo(const CancelCase& c, std::ostream* os)
{
    *os << c.name;
}

class CancelTest : public HttpSafetyTest, public testing::WithParamInterface<CancelCase> {};

TEST_P(CancelTest, EndsTheCallPromptly)
{
    const Reply reply = GetParam().reply;
    LoopbackServer server([&](const RecordedRequest&) { return reply; });
    std::atomic<bool> cancel{false};
    std::atomic<bool> returned{false};
    HttpOutcome outcome;
    std::string responseHeaders = "stale";
    std::thread caller([&] {
        HttpRequest(server.url("/long"), 0, {}, nullptr, nullptr, nullptr, &responseHeaders, false, nullptr, {},
                    {.cancel = &cancel, .outcome = &outcome});
        returned = true;
    });

    ASSERT_TRUE(test::eventually([&] { return !server.requests().empty(); }));
    std::this_thread::sleep_for(milliseconds(300));  // well into the transfer
    EXPECT_FALSE(returned.load());
    const auto raised = Clock::now();
    cancel = true;
    const bool ended = test::eventually([&] { return returned.load(); }, milliseconds(5000));
    const double latency = secondsSince(raised);
    caller.join();

    EXPECT_TRUE(ended);
    EXPECT_LT(latency, 2.0);  // polled every 100 ms; generous for a loaded machine
    EXPECT_EQ(outcome.failure, HttpFailure::cancelled);
    EXPECT_EQ(describeHttpOutcome(outcome), "已取消");
}

Reply neverAnswers()
{
    Reply reply;
    reply.neverAnswer = true;
    return reply;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, CancelTest, testing::Values(
    CancelCase{"WaitingForTheAnswer", neverAnswers()},
    CancelCase{"InTheMiddleOfTheBody", endless("x", milliseconds(50))}
), [](const testing::TestParamInfo<CancelCase>& caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

TEST_F(HttpSafetyTest, CancelRaisedBeforeTheCallSendsNothing)
{
    LoopbackServer server;
    const std::atomic<bool> cancel{true};
    HttpOutcome outcome;

    EXPECT_EQ(HttpRequest(server.url("/x"), 0, {}, nullptr, nullptr, nullptr, nullptr, false, nullptr, {},
                          {.cancel = &cancel, .outcome = &outcome}),
              "");

    EXPECT_EQ(outcome.failure, HttpFailure::cancelled);
    EXPECT_EQ(server.connections(), 0);
}

class LineBreakAddressTest : public testing::TestWithParam<std::string> {};

// The Referer line used to carry the address as it was, so a line break in
// an address started header lines of its own.
TEST_P(LineBreakAddressTest, NeverAddsHeaderLines)
{
    LoopbackServer server;
    std::string headers;

    EXPECT_EQ(HttpRequest(server.url(GetParam()), 0, {}, nullptr, nullptr, &headers), "ok");

    const std::vector<RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const RecordedRequest& request = requests[0];
    EXPECT_EQ(request.headerCount("X-Injected"), 0);
    EXPECT_EQ(request.headerLines.size(), 6u);  // Host, User-Agent and the four defaults
    EXPECT_EQ(request.body, "");
    EXPECT_TRUE(request.requestLine.starts_with("GET /a%0")) << request.requestLine;
    EXPECT_EQ(request.header("Referer").find_first_of("\r\n\t "), std::string::npos);
    EXPECT_TRUE(request.header("Referer").starts_with(server.url("/a%0")));
    EXPECT_EQ(headers.find("\n\r\n"), std::string::npos);  // no empty line, no lone line break
    EXPECT_EQ(std::count(headers.begin(), headers.end(), '\n'), 3);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, LineBreakAddressTest, testing::Values(
    "/a\r\nX-Injected: 1",
    "/a\nX-Injected: 1",
    "/a\rX-Injected: 1",
    "/a\r\n\r\nGET /smuggled HTTP/1.1\r\nX-Injected: 1\r\n\r\n",
    "/a\tb?q=\r\nX-Injected: 1",
    std::string("/a\0\r\nX-Injected: 1", 18)
));
// clang-format on

class RefusedAddressTest : public testing::TestWithParam<std::string> {};

// Addresses used to be rewritten into http ones: "ftp://h/x" went to the
// host "ftp", and an address without a scheme was fetched over http.
TEST_P(RefusedAddressTest, SendsNothing)
{
    LoopbackServer server;
    const std::string hostPort = "127.0.0.1:" + std::to_string(server.port());
    std::string address = GetParam();
    address.replace(address.find("HP"), 2, hostPort);
    std::string responseHeaders = "stale";
    std::string received = "stale";
    HttpOutcome outcome;

    EXPECT_EQ(HttpRequest(address, 0, {}, nullptr, &received, nullptr, &responseHeaders, false, nullptr, {},
                          {.outcome = &outcome}),
              "");

    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(outcome.failure, HttpFailure::badAddress);
    EXPECT_EQ(describeHttpOutcome(outcome), "网址无效");
    EXPECT_EQ(responseHeaders, kNoResponse);
    EXPECT_EQ(received, "");
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, RefusedAddressTest, testing::Values(
    "ftp://HP/x", "file://HP/etc/passwd", "javascript:location='http://HP/'", "gopher://HP/", "HP/no-scheme",
    "//HP/scheme-relative", "http:/HP/one-slash", " http://HP/leading-blank", "http://user:pw@HP/x",
    "http://example.invalid@HP/x", "http://HP\r\nX-Injected: 1/x", "http://HP:99999/x", "http://HPabc/x",
    "http:///HP", "garbage HP"
));
// clang-format on

struct OutcomeCase {
    std::string path;
    long status;
    std::string finalPath;
    std::string contentType;
    std::string retryAfter;
    std::string description;
};

void PrintTo(const OutcomeCase& c, std::ostream* os)
{
    *os << c.path;
}

class OutcomeTest : public testing::TestWithParam<OutcomeCase> {};

TEST_P(OutcomeTest, TellsWhatAnswered)
{
    const OutcomeCase& c = GetParam();
    LoopbackServer server([](const RecordedRequest& request) {
        const std::string path = request.requestLine.substr(4, request.requestLine.rfind(' ') - 4);
        Reply reply = Reply::text("page at " + path);
        if (path == "/book/12") {
            return Reply::redirect("/book/12/", 301);
        }
        if (path == "/missing") {
            reply.status = 404;
            reply.headers = {"Content-Type: text/html; charset=gbk"};
        } else if (path == "/busy") {
            reply.status = 503;
            reply.headers = {"Retry-After:  120 "};
        } else {
            reply.headers = {"content-type: text/plain"};
        }
        return reply;
    });
    HttpOutcome outcome;

    const std::string body = HttpRequest(server.url(c.path), 0, {}, nullptr, nullptr, nullptr, nullptr, false, nullptr,
                                         {}, {.outcome = &outcome});

    EXPECT_EQ(outcome.failure, HttpFailure::none);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.finalUrl, server.url(c.finalPath));
    EXPECT_EQ(outcome.contentType, c.contentType);
    EXPECT_EQ(outcome.retryAfter, c.retryAfter);
    EXPECT_EQ(outcome.bodyBytes, body.size());
    EXPECT_EQ(body, "page at " + c.finalPath);
    EXPECT_GT(outcome.seconds, 0.0);
    EXPECT_EQ(outcome.detail, "");
    EXPECT_EQ(describeHttpOutcome(outcome), c.description);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, OutcomeTest, testing::Values(
    OutcomeCase{"/missing", 404, "/missing", "text/html; charset=gbk", "", "HTTP 404"},
    OutcomeCase{"/busy", 503, "/busy", "", "120", "HTTP 503，120 秒后可重试"},
    // A list address without its final slash, sent on to the slash form.
    OutcomeCase{"/book/12", 200, "/book/12/", "text/plain", "", "HTTP 200"},
    OutcomeCase{"/book/12/#top", 200, "/book/12/", "text/plain", "", "HTTP 200"}
));
// clang-format on

struct NoAnswerCase {
    const char* name;
    std::function<std::string()> address;
    HttpFailure failure;
    const char* description;
};

void PrintTo(const NoAnswerCase& c, std::ostream* os)
{
    *os << c.name;
}

class NoAnswerTest : public testing::TestWithParam<NoAnswerCase> {};

TEST_P(NoAnswerTest, NamesTheFailure)
{
    const NoAnswerCase& c = GetParam();
    HttpOutcome outcome;

    EXPECT_EQ(
        HttpRequest(c.address(), 0, {}, nullptr, nullptr, nullptr, nullptr, false, nullptr, {}, {.outcome = &outcome}),
        "");

    EXPECT_EQ(outcome.failure, c.failure) << outcome.detail;
    EXPECT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.detail, "");
    EXPECT_EQ(describeHttpOutcome(outcome), c.description);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Cases, NoAnswerTest, testing::Values(
    // A label longer than 63 bytes fails without asking any name server.
    NoAnswerCase{"Unresolvable", [] { return "http://" + std::string(70, 'x') + ".invalid/"; },
                 HttpFailure::cannotResolve, "无法解析域名"},
    NoAnswerCase{"Refused", [] { return "http://127.0.0.1:" + std::to_string(test::freeLoopbackPort()) + "/"; },
                 HttpFailure::cannotConnect, "无法连接"}
), [](const testing::TestParamInfo<NoAnswerCase>& caseInfo) { return std::string(caseInfo.param.name); });
// clang-format on

}  // namespace
