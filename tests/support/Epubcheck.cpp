#include "support/Epubcheck.h"

#include "core/FileBytes.h"
#include "core/Text.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace velmora::test {

namespace fs = std::filesystem;

// Debian installs it as a jar that the kernel is meant to hand to java;
// java is called directly instead, which also works where that hand-over is
// missing (containers), with options that make the short run start faster.
std::optional<std::string> epubcheckCommand()
{
    const char* path = std::getenv("PATH");
    for (const std::string& folder : text::split(path != nullptr ? path : "/usr/bin", ":")) {
        const fs::path candidate = fs::path(folder.empty() ? "." : folder) / "epubcheck";
        if (::access(candidate.c_str(), X_OK) != 0) {
            continue;
        }
        const std::string head = readFileBytes(candidate).value_or("").substr(0, 2);
        const std::string quoted = "'" + candidate.string() + "'";
        return head == "PK" ? "java -XX:TieredStopAtLevel=1 -XX:+UseSerialGC -jar " + quoted : quoted;
    }
    return std::nullopt;
}

std::pair<int, std::string> runEpubcheck(const std::string& command, const fs::path& file)
{
    FILE* pipe = ::popen((command + " '" + file.string() + "' 2>&1").c_str(), "r");
    std::string output;
    char buffer[4096];
    while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        output += buffer;
    }
    const int status = pipe == nullptr ? -1 : ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace velmora::test
