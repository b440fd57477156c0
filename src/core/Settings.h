#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A small settings file of "key=value" lines, one setting a line, kept in the
// working folder. Reading forgives damage: lines without "=", lines with an
// empty key, and repeats of a key (the first one counts) are dropped, and
// lines starting with "#" or ";" are comments (not written back). Keys are
// case-sensitive; spaces around keys and values are trimmed; CR LF and LF
// both end a line. Writing replaces the file whole, keeping the settings this
// program version does not know, in the order they were read.
namespace velmora {

class SettingsFile {
public:
    // The settings of `file`; a missing or unreadable file gives none.
    static SettingsFile load(const std::filesystem::path& file);

    std::optional<std::string> value(std::string_view key) const;
    // "1", "true", "yes", "on" are true and "0", "false", "no", "off" false,
    // in any case; anything else, or no such key, gives `fallback`.
    bool flag(std::string_view key, bool fallback) const;

    // Sets a key; a key or value holding a line break or "=" (in the key) is
    // not stored, and the result is false.
    bool set(std::string_view key, std::string_view value);
    void setFlag(std::string_view key, bool on);

    // The settings as file text, LF-ended lines.
    std::string text() const;
    // Writes text() through a temporary file; false when the write failed.
    bool save(const std::filesystem::path& file) const;

private:
    std::vector<std::pair<std::string, std::string>> entries_;
};

// The settings file's name in the working folder.
inline constexpr std::string_view kSettingsFileName = "velmora.ini";

// The download options of the main window's check boxes, remembered between
// starts. Both are off unless the settings file turns them on.
struct DownloadOptions {
    bool newChaptersOnly = false;  // "只下载新章节", key NewChaptersOnly
    bool alsoEpub = false;         // "同时生成EPUB", key AlsoEpub
};

DownloadOptions readDownloadOptions(const std::filesystem::path& file);
// Updates the two keys in `file`, keeping its other settings.
bool writeDownloadOptions(const DownloadOptions& options, const std::filesystem::path& file);

}  // namespace velmora
