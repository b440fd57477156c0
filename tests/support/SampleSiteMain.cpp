// Serves the sample novel site on 127.0.0.1 until interrupted, so the whole
// flow can be tried without a network: paste the printed address into
// Velmora's address box, then fetch the chapter list and download it.
#include "support/NovelSite.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : 8642;
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);  // the server's threads inherit the mask

    velmora::test::NovelSiteOptions options;
    // A long novel shows how a big download runs.
    options.chapters = argc > 3 ? std::clamp(std::atoi(argv[3]), 1, 100000) : 12;
    // A slow site leaves time to watch a download run, pause and stop it.
    options.delay = std::chrono::milliseconds(argc > 2 ? std::max(0, std::atoi(argv[2])) : 0);
    try {
        velmora::test::NovelSite site(options, port);
        std::printf("Sample novel site running. Paste this address into Velmora:\n\n    %s\n\n"
                    "(the same novel as gzip-compressed UTF-8 pages: %s\n"
                    " and as script-built pages for the browser mode, under the rule \"%s\": %s)\n"
                    "Press Ctrl+C to stop.\n",
                    site.listUrl().c_str(), site.utf8ListUrl().c_str(), "2345小说（仅测试）",
                    site.scriptListUrl().c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stopSignals, &signal);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "cannot serve on 127.0.0.1:%d: %s\n", port, e.what());
        return 1;
    }
    return 0;
}
