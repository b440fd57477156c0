#include "core/Settings.h"

#include "core/FileBytes.h"
#include "core/Text.h"

#include <algorithm>

namespace velmora {
namespace {

std::string_view trimmed(std::string_view s)
{
    constexpr std::string_view kBlank = " \t\r";
    const std::size_t first = s.find_first_not_of(kBlank);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(kBlank) - first + 1);
}

constexpr std::string_view kNewChaptersOnlyKey = "NewChaptersOnly";
constexpr std::string_view kAlsoEpubKey = "AlsoEpub";

}  // namespace

SettingsFile SettingsFile::load(const std::filesystem::path& file)
{
    SettingsFile settings;
    const std::optional<std::string> bytes = readFileBytes(file);
    if (!bytes) {
        return settings;
    }
    for (const std::string& raw : text::split(*bytes, "\n")) {
        const std::string_view line = trimmed(raw);
        const std::size_t equals = line.find('=');
        if (line.empty() || line.front() == '#' || line.front() == ';' || equals == std::string_view::npos) {
            continue;
        }
        const std::string_view key = trimmed(line.substr(0, equals));
        if (!key.empty() && !settings.value(key)) {
            settings.entries_.emplace_back(key, trimmed(line.substr(equals + 1)));
        }
    }
    return settings;
}

std::optional<std::string> SettingsFile::value(std::string_view key) const
{
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == key; });
    if (it == entries_.end()) {
        return std::nullopt;
    }
    return it->second;
}

bool SettingsFile::flag(std::string_view key, bool fallback) const
{
    const std::optional<std::string> v = value(key);
    if (!v) {
        return fallback;
    }
    const std::string lower = text::toLowerAscii(*v);
    if (lower == "1" || lower == "true" || lower == "yes" || lower == "on") {
        return true;
    }
    if (lower == "0" || lower == "false" || lower == "no" || lower == "off") {
        return false;
    }
    return fallback;
}

bool SettingsFile::set(std::string_view key, std::string_view value)
{
    const std::string_view k = trimmed(key);
    const std::string_view v = trimmed(value);
    if (k.empty() || k.find_first_of("=\n") != std::string_view::npos || k.front() == '#' || k.front() == ';'
        || v.find('\n') != std::string_view::npos) {
        return false;
    }
    const auto it = std::find_if(entries_.begin(), entries_.end(), [&](const auto& e) { return e.first == k; });
    if (it == entries_.end()) {
        entries_.emplace_back(k, v);
    } else {
        it->second = v;
    }
    return true;
}

void SettingsFile::setFlag(std::string_view key, bool on)
{
    set(key, on ? "1" : "0");
}

std::string SettingsFile::text() const
{
    std::string out;
    for (const auto& [key, value] : entries_) {
        out += key;
        out += '=';
        out += value;
        out += '\n';
    }
    return out;
}

bool SettingsFile::save(const std::filesystem::path& file) const
{
    return replaceFileContent(file, text());
}

DownloadOptions readDownloadOptions(const std::filesystem::path& file)
{
    const SettingsFile settings = SettingsFile::load(file);
    DownloadOptions options;
    options.newChaptersOnly = settings.flag(kNewChaptersOnlyKey, options.newChaptersOnly);
    options.alsoEpub = settings.flag(kAlsoEpubKey, options.alsoEpub);
    return options;
}

bool writeDownloadOptions(const DownloadOptions& options, const std::filesystem::path& file)
{
    SettingsFile settings = SettingsFile::load(file);
    settings.setFlag(kNewChaptersOnlyKey, options.newChaptersOnly);
    settings.setFlag(kAlsoEpubKey, options.alsoEpub);
    return settings.save(file);
}

}  // namespace velmora
