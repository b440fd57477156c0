#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include <stdlib.h>

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
