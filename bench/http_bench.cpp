// Pages per second fetched from a loopback server by HttpRequest in 20
// threads, with and without connection reuse, next to the curl command line
// tool fetching the same addresses with 20 parallel transfers.
#include "web/HttpRequest.h"

#include "CurlTool.h"
#include "support/LoopbackServer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPages = 2000;
constexpr int kThreads = 20;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration elapsed)
{
    return std::chrono::duration<double>(elapsed).count();
}

struct Figure {
    double pagesPerSecond = 0;
    int failures = 0;
    int connections = 0;
};

Figure fetchWithHttpRequest(bool reuse, const std::string& page)
{
    velmora::test::LoopbackServer server(
        [&](const velmora::test::RecordedRequest&) { return velmora::test::Reply::text(page); });
    velmora::setHttpConnectionReuse(reuse);
    std::atomic<int> failures{0};
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = t; i < kPages; i += kThreads) {
                if (velmora::HttpRequest(server.url("/chapter/" + std::to_string(i) + ".html")) != page) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const double elapsed = seconds(Clock::now() - start);
    return {kPages / elapsed, failures.load(), server.connections()};
}

Figure fetchWithCurlTool(const std::string& page)
{
    velmora::test::LoopbackServer server(
        [&](const velmora::test::RecordedRequest&) { return velmora::test::Reply::text(page); });
    std::vector<std::string> urls;
    for (int i = 0; i < kPages; ++i) {
        urls.push_back(server.url("/chapter/" + std::to_string(i) + ".html"));
    }
    const double elapsed = velmora::bench::runCurlParallel(urls, std::vector<std::string>(urls.size(), "/dev/null"));
    Figure figure;
    figure.failures = elapsed < 0 ? kPages : 0;
    figure.pagesPerSecond = kPages / std::max(elapsed, 1e-9);
    figure.failures += kPages - static_cast<int>(server.requests().size());
    figure.connections = server.connections();
    return figure;
}

void print(const char* what, int round, const Figure& figure)
{
    std::printf("%-34s round %d: %8.0f pages/s  (%d connections, %d failures)\n", what, round, figure.pagesPerSecond,
                figure.connections, figure.failures);
}

}  // namespace

int main()
{
    const std::string page(4096, 'p');
    std::printf("%d pages of %zu bytes from 127.0.0.1, %d at a time\n", kPages, page.size(), kThreads);
    for (int round = 1; round <= kRounds; ++round) {
        print("HttpRequest, connections reused", round, fetchWithHttpRequest(true, page));
        print("HttpRequest, a connection a page", round, fetchWithHttpRequest(false, page));
        print("curl --parallel --parallel-max 20", round, fetchWithCurlTool(page));
    }
    return 0;
}
