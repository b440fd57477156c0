// Pages per second fetched from a loopback server by HttpRequest in 20
// threads, with and without connection reuse, next to the curl command line
// tool fetching the same addresses with 20 parallel transfers.
#include "web/HttpRequest.h"

#include "support/LoopbackServer.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int kPages = 2000;
constexpr int kThreads = 20;
constexpr int kRounds = 3;

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration elapsed) { return std::chrono::duration<double>(elapsed).count(); }

struct Figure {
    double pagesPerSecond = 0;
    int failures = 0;
    int connections = 0;
};

Figure fetchWithHttpRequest(bool reuse, const std::string& page)
{
    velmora::test::LoopbackServer server([&](const velmora::test::RecordedRequest&) {
        return velmora::test::Reply::text(page);
    });
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
    velmora::test::LoopbackServer server([&](const velmora::test::RecordedRequest&) {
        return velmora::test::Reply::text(page);
    });
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid()) + ".curlrc");
    {
        std::ofstream out(config);
        for (int i = 0; i < kPages; ++i) {
            out << "url = \"" << server.url("/chapter/" + std::to_string(i) + ".html") << "\"\n"
                << "output = \"/dev/null\"\n";
        }
    }
    std::vector<std::string> arguments = {"curl",          "-q", "--silent", "--noproxy", "*", "--parallel",
                                          "--parallel-max", "20", "--config",  config.string()};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // Its progress meter ignores --silent in parallel mode.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    Figure figure;
    const auto start = Clock::now();
    pid_t pid = -1;
    int status = 0;
    if (::posix_spawnp(&pid, "curl", &quiet, nullptr, argv.data(), environ) != 0
        || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        figure.failures = kPages;
    }
    const double elapsed = seconds(Clock::now() - start);
    posix_spawn_file_actions_destroy(&quiet);
    std::filesystem::remove(config);
    figure.pagesPerSecond = kPages / elapsed;
    figure.failures += kPages - static_cast<int>(server.requests().size());
    figure.connections = server.connections();
    return figure;
}

void print(const char* what, int round, const Figure& figure)
{
    std::printf("%-34s round %d: %8.0f pages/s  (%d connections, %d failures)\n", what, round,
                figure.pagesPerSecond, figure.connections, figure.failures);
}

} // namespace

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
