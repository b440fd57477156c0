// velmora-cli against the curl command line tool: a 3,000-chapter novel from
// the sample site on loopback, answered at once, fetched whole by
// `velmora-cli get` (list, chapters cut and saved, merge) and the same
// addresses by `curl --parallel --parallel-max 20`; then the command line's
// peak resident memory for a 10,000-chapter novel. Each run writes into a new
// folder, with earlier writes flushed; folders are deleted only at the end,
// since files deleted just before a run make ext4 slow to create the run's
// own (see download_bench.cpp).
#include "CurlTool.h"
#include "core/Encoding.h"
#include "rules/RuleStore.h"
#include "support/ChildProcess.h"
#include "support/NovelSite.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kChapters = 3000;
constexpr int kLargeNovel = 10000;
constexpr int kRounds = 5;

struct Ran {
    bool ok = false;
    double seconds = 0;
    long peakKiB = 0;  // the child's peak resident memory
};

// Runs a program in `folder` with its output thrown away.
Ran run(const std::vector<std::string>& words, const fs::path& folder)
{
    Ran ran;
    const auto start = Clock::now();
    const pid_t pid = velmora::test::startChild(words, folder);
    int status = 0;
    rusage usage{};
    if (pid > 0 && ::wait4(pid, &status, 0, &usage) == pid) {
        ran.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        ran.peakKiB = usage.ru_maxrss;
    }
    ran.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return ran;
}

fs::path folderPath(const std::string& name)
{
    return fs::temp_directory_path() / ("velmora-cli-bench-" + std::to_string(::getpid()) + name);
}

// A fresh working folder whose rules file knows the sample site.
fs::path workingFolder(const std::string& name)
{
    const fs::path folder = folderPath(name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    const velmora::RuleStore rules(folder / u8"下载配置.xml");
    rules.ensureRulesFile();
    velmora::SiteRule local = rules.readRule(1);
    local.name = velmora::encoding::toGbk("本机");
    local.siteAddress = "http://127.0.0.1/";
    rules.appendRule(local);
    return folder;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main()
{
    velmora::test::NovelSiteOptions options;
    options.chapters = kChapters;
    velmora::test::NovelSite site(options);

    // curl fetches the list page and every chapter page, as the command line
    // does: once thrown away (the plain anchor), once saved a file a page in
    // the same file system (the same file work as the chapter files).
    const fs::path curlFolder = workingFolder("-curl");
    std::vector<std::string> urls = {site.listUrl()};
    std::vector<std::string> discard(kChapters + 1, "/dev/null");
    std::vector<std::string> pages = {(curlFolder / "pages" / "index.html").string()};
    for (int n = 1; n <= kChapters; ++n) {
        urls.push_back(site.server().url("/book/1/" + std::to_string(n) + ".html"));
        pages.push_back((curlFolder / "pages" / (std::to_string(n) + ".html")).string());
    }
    int curlRuns = 0;
    const auto curl = [&](const std::vector<std::string>& outputs) {
        fs::create_directories(curlFolder / "pages");
        ::sync();
        const double seconds = velmora::bench::runCurlParallel(urls, outputs);
        fs::rename(curlFolder / "pages", curlFolder / ("pages-" + std::to_string(++curlRuns)));
        return Ran{seconds >= 0, seconds, 0};
    };

    std::printf("%d chapters from 127.0.0.1, answered at once, files in %s; median of %d rounds\n", kChapters,
                fs::temp_directory_path().c_str(), kRounds);
    std::vector<double> cli;
    std::vector<double> discarding;
    std::vector<double> saving;
    long cliPeak = 0;
    for (int round = 1; round <= kRounds; ++round) {
        const fs::path folder = workingFolder("-get-" + std::to_string(round));
        ::sync();  // no run pays for flushing the files of the one before
        const Ran get = run({VELMORA_CLI_PATH, "get", site.listUrl()}, folder);
        const Ran discarded = curl(discard);
        const Ran saved = curl(pages);
        std::printf("round %d: velmora-cli get %6.3f s%s   curl to /dev/null %6.3f s%s   curl to files %6.3f s%s\n",
                    round, get.seconds, get.ok ? "" : " (FAILED)", discarded.seconds, discarded.ok ? "" : " (FAILED)",
                    saved.seconds, saved.ok ? "" : " (FAILED)");
        cli.push_back(get.seconds);
        discarding.push_back(discarded.seconds);
        saving.push_back(saved.seconds);
        cliPeak = std::max(cliPeak, get.peakKiB);
    }
    std::printf("velmora-cli get: %.3f s (%.0f chapters/s)\n", median(cli), kChapters / median(cli));
    std::printf("curl --parallel --parallel-max 20 to /dev/null: %.3f s, ratio %.2fx (target <= 1.5x)\n",
                median(discarding), median(cli) / median(discarding));
    std::printf("curl --parallel --parallel-max 20 to files:     %.3f s, ratio %.2fx\n", median(saving),
                median(cli) / median(saving));
    std::printf("velmora-cli peak resident memory, %d chapters: %ld KiB\n", kChapters, cliPeak);

    options.chapters = kLargeNovel;
    velmora::test::NovelSite large(options);
    const fs::path folder = workingFolder("-large");
    const Ran get = run({VELMORA_CLI_PATH, "get", large.listUrl()}, folder);
    std::printf("velmora-cli peak resident memory, %d chapters: %ld KiB (%.1f s%s)\n", kLargeNovel, get.peakKiB,
                get.seconds, get.ok ? "" : ", FAILED");
    fs::remove_all(folder);
    fs::remove_all(curlFolder);
    for (int round = 1; round <= kRounds; ++round) {
        fs::remove_all(folderPath("-get-" + std::to_string(round)));
    }
    return 0;
}
