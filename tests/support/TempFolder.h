#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include <stdlib.h>
#include <unistd.h>

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempFolder {
public:
    explicit TempFolder(std::string_view prefix = "velmora")
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder");
        }
        path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

namespace velmora::test {

// A test fixture with a fresh, empty folder of its own, removed with
// everything in it when the test ends.
class TempFolderTest : public testing::Test {
protected:
    TempFolder temp_{"velmora-test"};
    std::filesystem::path folder_ = temp_.path();
};

}  // namespace velmora::test
