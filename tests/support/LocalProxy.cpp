#include "support/LocalProxy.h"

#include "support/LoopbackServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

extern char** environ;

namespace velmora::test {
namespace {

std::filesystem::path findTinyproxy()
{
    for (const char* folder : {"/usr/bin", "/usr/sbin", "/usr/local/bin", "/usr/local/sbin"}) {
        const std::filesystem::path candidate = std::filesystem::path(folder) / "tinyproxy";
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return {};
}

}  // namespace

LocalProxy::LocalProxy()
{
    const std::filesystem::path program = findTinyproxy();
    if (program.empty()) {
        error_ = "tinyproxy is not installed (scripts/setup installs it)";
        return;
    }
    std::string folderTemplate = (std::filesystem::temp_directory_path() / "velmora-proxy-XXXXXX").string();
    if (::mkdtemp(folderTemplate.data()) == nullptr) {
        error_ = "cannot create a temporary folder";
        return;
    }
    folder_ = folderTemplate;
    port_ = freeLoopbackPort();
    const std::filesystem::path config = folder_ / "tinyproxy.conf";
    std::ofstream(config) << "Port " << port_ << "\n"
                          << "Listen 127.0.0.1\n"
                          << "Timeout 30\n"
                          << "MaxClients 50\n"
                          << "Allow 127.0.0.1\n"
                          << "LogFile \"" << (folder_ / "tinyproxy.log").string() << "\"\n"
                          << "LogLevel Info\n"
                          << "PidFile \"" << (folder_ / "tinyproxy.pid").string() << "\"\n";

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string output = (folder_ / "output.txt").string();
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<std::string> arguments = {program.string(), "-d", "-c", config.string()};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        error_ = "cannot start tinyproxy";
        return;
    }
    pid_ = pid;
    if (!waitUntilListening(port_, std::chrono::seconds(5))) {
        error_ = "tinyproxy did not start listening";
        stop();
    }
}

LocalProxy::~LocalProxy()
{
    stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

std::string LocalProxy::address() const
{
    return "127.0.0.1:" + std::to_string(port_);
}

void LocalProxy::stop()
{
    if (pid_ <= 0) {
        return;
    }
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

}  // namespace velmora::test
