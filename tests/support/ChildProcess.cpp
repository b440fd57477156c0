#include "support/ChildProcess.h"

#include <fcntl.h>
#include <spawn.h>

extern char** environ;

namespace velmora::test {

pid_t startChild(const std::vector<std::string>& words, const std::filesystem::path& folder,
                 const std::filesystem::path& out, const std::filesystem::path& err)
{
    std::vector<std::string> copies = words;
    std::vector<char*> argv;
    for (std::string& word : copies) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const auto target = [](const std::filesystem::path& file) { return file.empty() ? "/dev/null" : file.c_str(); };
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, target(out), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, target(err), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    pid_t pid = -1;
    const int started = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return started == 0 ? pid : -1;
}

}  // namespace velmora::test
