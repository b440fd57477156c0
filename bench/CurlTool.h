#pragma once

// The anchor the download benchmarks compare with: the curl command line
// tool fetching the same addresses, 20 transfers at a time.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace velmora::bench {

// Runs `curl --parallel --parallel-max 20` over `urls`, each body going to
// the matching entry of `outputs` ("/dev/null" to drop it). The seconds it
// took, or a negative value when curl failed.
inline double runCurlParallel(const std::vector<std::string>& urls, const std::vector<std::string>& outputs)
{
    const std::filesystem::path config =
        std::filesystem::temp_directory_path() / ("velmora-bench-" + std::to_string(::getpid()) + ".curlrc");
    {
        std::ofstream out(config);
        for (std::size_t i = 0; i < urls.size(); ++i) {
            out << "url = \"" << urls[i] << "\"\n"
                << "output = \"" << outputs[i] << "\"\n";
        }
    }
    std::vector<std::string> arguments = {"curl",           "-q", "--silent", "--noproxy",    "*", "--parallel",
                                          "--parallel-max", "20", "--config", config.string()};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // Its progress meter ignores --silent in parallel mode.
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    int status = 0;
    const bool ran = ::posix_spawnp(&pid, "curl", &quiet, nullptr, argv.data(), environ) == 0
                     && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    posix_spawn_file_actions_destroy(&quiet);
    std::filesystem::remove(config);
    return ran ? took.count() : -1;
}

}  // namespace velmora::bench
