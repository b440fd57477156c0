#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

// A tinyproxy forward proxy on a free loopback port, run from a generated
// configuration in a temporary folder that only admits 127.0.0.1. The
// destructor stops it and removes the folder.
namespace velmora::test {

class LocalProxy {
public:
    LocalProxy();
    ~LocalProxy();
    LocalProxy(const LocalProxy&) = delete;
    LocalProxy& operator=(const LocalProxy&) = delete;

    bool running() const { return pid_ > 0; }
    // Why the proxy is not running.
    const std::string& error() const { return error_; }
    // "127.0.0.1:<port>"
    std::string address() const;

private:
    void stop();

    pid_t pid_ = -1;
    int port_ = 0;
    std::filesystem::path folder_;
    std::string error_;
};

}  // namespace velmora::test
