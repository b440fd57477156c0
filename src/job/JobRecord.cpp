#include "job/JobRecord.h"

#include "core/Encoding.h"
#include "core/FileBytes.h"
#include "core/Text.h"
#include "job/ChapterFiles.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace velmora {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "velmora-job";
constexpr int kVersion = 1;
constexpr int kMaxNumber = 999999999;

// The header keys, in the order they are written.
enum Key { listAddressKey, ruleKey, nameKey, authorKey, countKey, keyCount };

const std::array<std::string, keyCount>& headerKeys()
{
    static const std::array<std::string, keyCount> keys = {
        encoding::toGbk("列表网址"), encoding::toGbk("规则"),   encoding::toGbk("书名"),
        encoding::toGbk("作者"),     encoding::toGbk("章节数"),
    };
    return keys;
}

void appendEscaped(std::string& out, std::string_view field)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char ch : field) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out.push_back(kHex[c >> 4]);
                out.push_back(kHex[c & 0x0F]);
            } else {
                out.push_back(ch);
            }
        }
    }
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The inverse of appendEscaped; nothing for a "\" that starts no known escape.
std::optional<std::string> unescape(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out.push_back(field[i]);
            continue;
        }
        if (++i == field.size()) {
            return std::nullopt;
        }
        switch (field[i]) {
        case '\\':
            out.push_back('\\');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case 'x': {
            const int high = i + 2 < field.size() ? hexDigit(field[i + 1]) : -1;
            const int low = high >= 0 ? hexDigit(field[i + 2]) : -1;
            if (low < 0) {
                return std::nullopt;
            }
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

// A decimal without sign or leading zeros, up to kMaxNumber.
std::optional<int> parseNumber(std::string_view digits)
{
    int value = 0;
    if (digits.empty() || digits.size() > 9 || (digits.front() == '0' && digits.size() > 1)) {
        return std::nullopt;
    }
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size() || value < 0 || value > kMaxNumber) {
        return std::nullopt;
    }
    return value;
}

JobRecordResult failure(JobRecordStatus status, std::string message)
{
    JobRecordResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

JobRecordResult damaged(std::size_t line, std::string_view reason)
{
    return failure(JobRecordStatus::damaged,
                   "下载记录已损坏（第" + std::to_string(line) + "行：" + std::string(reason) + "），已忽略");
}

// The lines of a record, each without its line break; nothing when the last
// line has no line break (a record cut short).
std::optional<std::vector<std::string_view>> splitLines(std::string_view bytes)
{
    if (bytes.empty() || bytes.back() != '\n') {
        return std::nullopt;
    }
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find('\n', start);
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

}  // namespace

JobRecordResult parseJobRecord(std::string_view bytes)
{
    const std::optional<std::vector<std::string_view>> split = splitLines(bytes);
    if (!split) {
        return bytes.empty() ? damaged(1, "文件是空的")
                             : damaged(1 + std::count(bytes.begin(), bytes.end(), '\n'), "最后一行不完整");
    }
    const std::vector<std::string_view>& lines = *split;

    const std::string_view first = lines[0];
    const std::string magic = std::string(kMagic) + " ";
    if (!text::startsWith(first, magic)) {
        return failure(JobRecordStatus::foreign, "下载记录不是本程序写的，已忽略");
    }
    const std::string_view version = first.substr(magic.size());
    if (parseNumber(version) != kVersion) {
        return failure(JobRecordStatus::foreign,
                       "下载记录的格式版本（" + encoding::gbkToUtf8(version) + "）无法识别，已忽略");
    }

    JobRecordResult result;
    std::array<std::optional<std::string>, keyCount> values;
    std::size_t index = 1;
    for (; index < lines.size() && !lines[index].empty(); ++index) {
        const std::string_view line = lines[index];
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            return damaged(index + 1, "没有“=”");
        }
        const auto& keys = headerKeys();
        const auto known = std::find(keys.begin(), keys.end(), line.substr(0, equals));
        if (known == keys.end()) {
            continue;
        }
        auto& value = values[static_cast<std::size_t>(known - keys.begin())];
        if (value) {
            return damaged(index + 1, "重复的“" + encoding::gbkToUtf8(*known) + "”");
        }
        value = unescape(line.substr(equals + 1));
        if (!value) {
            return damaged(index + 1, "无法识别的转义");
        }
    }
    for (std::size_t k = 0; k < keyCount; ++k) {
        if (!values[k]) {
            return damaged(index + 1, "缺少“" + encoding::gbkToUtf8(headerKeys()[k]) + "”");
        }
    }
    const std::optional<int> count = parseNumber(*values[countKey]);
    if (!count) {
        return damaged(index + 1, "章节数不是数字");
    }

    JobRecord& record = result.record;
    record.listAddress = std::move(*values[listAddressKey]);
    record.ruleName = std::move(*values[ruleKey]);
    record.novelName = std::move(*values[nameKey]);
    record.author = std::move(*values[authorKey]);
    record.rows.reserve(static_cast<std::size_t>(std::min(*count, 100000)));
    for (++index; index < lines.size(); ++index) {
        const std::vector<std::string> fields = text::split(lines[index], "\t");
        if (fields.size() != 4) {
            return damaged(index + 1, "章节行应有4栏");
        }
        JobRecordRow row;
        const std::optional<int> number = parseNumber(fields[0]);
        if (!number) {
            return damaged(index + 1, "序号不是数字");
        }
        row.number = *number;
        if (fields[1] != "0" && fields[1] != "1") {
            return damaged(index + 1, "下载标志应为0或1");
        }
        row.saved = fields[1] == "1";
        std::optional<std::string> address = unescape(fields[2]);
        std::optional<std::string> title = unescape(fields[3]);
        if (!address || !title) {
            return damaged(index + 1, "无法识别的转义");
        }
        row.address = std::move(*address);
        row.title = std::move(*title);
        record.rows.push_back(std::move(row));
    }
    if (record.rows.size() != static_cast<std::size_t>(*count)) {
        return damaged(lines.size(), "章节行数与章节数不符");
    }
    result.status = JobRecordStatus::ok;
    return result;
}

fs::path jobRecordPath(const fs::path& novelFolder)
{
    return novelFolder / "下载记录.txt";
}

std::string jobRecordText(const JobRecord& record)
{
    const auto& keys = headerKeys();
    const std::array<std::string_view, keyCount> values = {
        record.listAddress, record.ruleName, record.novelName, record.author, std::string_view(),
    };
    std::string out = std::string(kMagic) + " " + text::decimal(kVersion) + "\r\n";
    for (std::size_t k = 0; k < keyCount; ++k) {
        out += keys[k];
        out += '=';
        if (k == countKey) {
            out += text::decimal(static_cast<long long>(record.rows.size()));
        } else {
            appendEscaped(out, values[k]);
        }
        out += "\r\n";
    }
    out += "\r\n";
    for (const JobRecordRow& row : record.rows) {
        out += text::decimal(std::max(row.number, 0));
        out += row.saved ? "\t1\t" : "\t0\t";
        appendEscaped(out, row.address);
        out += '\t';
        appendEscaped(out, row.title);
        out += "\r\n";
    }
    return out;
}

bool writeJobRecord(const JobRecord& record, const fs::path& novelFolder)
{
    std::error_code error;
    fs::create_directories(novelFolder, error);
    return replaceFileContent(jobRecordPath(novelFolder), jobRecordText(record));
}

JobRecordResult readJobRecord(const fs::path& novelFolder)
{
    const fs::path file = jobRecordPath(novelFolder);
    std::error_code error;
    if (!fs::exists(fs::symlink_status(file, error))) {
        return failure(JobRecordStatus::missing, "没有下载记录");
    }
    const std::optional<std::string> bytes = readFileBytes(file);
    if (!bytes) {
        return failure(JobRecordStatus::damaged, "下载记录无法读取，已忽略");
    }
    return parseJobRecord(*bytes);
}

JobRecordResult readJobRecord(const fs::path& novelFolder, std::string_view expectedListAddress,
                              std::string_view expectedNovelName)
{
    JobRecordResult result = readJobRecord(novelFolder);
    if (!result.ok()) {
        return result;
    }
    if (result.record.listAddress != expectedListAddress) {
        return failure(JobRecordStatus::foreign, "下载记录属于另一个章节列表网址，已忽略");
    }
    if (result.record.novelName != expectedNovelName) {
        return failure(JobRecordStatus::foreign, "下载记录属于另一本小说，已忽略");
    }
    return result;
}

std::vector<RowPlan> planRows(const JobRecord& record, std::span<const ChapterLink> rows, const fs::path& novelFolder)
{
    std::vector<RowPlan> plan;
    plan.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i >= record.rows.size()) {
            plan.push_back(RowPlan::unrecorded);
            continue;
        }
        const JobRecordRow& was = record.rows[i];
        std::error_code error;
        if (!was.saved) {
            plan.push_back(RowPlan::notSaved);
        } else if (was.address != rows[i].address) {
            plan.push_back(RowPlan::addressChanged);
        } else if (was.title != rows[i].title) {
            plan.push_back(RowPlan::titleChanged);
        } else if (!fs::is_regular_file(chapterFileIn(novelFolder, static_cast<int>(i + 1)), error)) {
            plan.push_back(RowPlan::fileMissing);
        } else {
            plan.push_back(RowPlan::done);
        }
    }
    return plan;
}

std::vector<fs::path> findJobFolders(const fs::path& directory)
{
    std::vector<fs::path> folders;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error)) {
        std::error_code entryError;
        if (it->is_directory(entryError) && fs::is_regular_file(jobRecordPath(it->path()), entryError)) {
            folders.push_back(it->path());
        }
    }
    std::sort(folders.begin(), folders.end());
    return folders;
}

}  // namespace velmora
