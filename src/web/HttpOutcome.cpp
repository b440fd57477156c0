// The limits every request obeys and the texts that tell people how one went.
#include "web/HttpRequest.h"

#include "core/Text.h"

#include <algorithm>
#include <mutex>

namespace velmora {
namespace {

std::mutex limitsMutex;
HttpLimits currentLimits;

bool isWholeNumber(std::string_view value)
{
    return !value.empty() && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void setHttpLimits(const HttpLimits& limits)
{
    HttpLimits checked = limits;
    checked.maxBodyBytes = std::max<std::size_t>(checked.maxBodyBytes, 1);
    checked.totalSeconds = std::max(checked.totalSeconds, 1);
    checked.lowSpeedBytesPerSecond = std::max(checked.lowSpeedBytesPerSecond, 1L);
    checked.lowSpeedSeconds = std::max(checked.lowSpeedSeconds, 1);
    std::lock_guard lock(limitsMutex);
    currentLimits = checked;
}

HttpLimits httpLimits()
{
    std::lock_guard lock(limitsMutex);
    return currentLimits;
}

std::string responseHeaderValue(std::string_view headerBlock, std::string_view name)
{
    for (const std::string& line : text::split(headerBlock, "\r\n")) {
        if (line.size() > name.size() && line[name.size()] == ':' && text::startsWith(line, name, true)) {
            return text::trimSpaces(std::string_view(line).substr(name.size() + 1));
        }
    }
    return {};
}

std::string describeHttpOutcome(const HttpOutcome& outcome)
{
    switch (outcome.failure) {
    case HttpFailure::none:
        break;
    case HttpFailure::badAddress:
        return "网址无效";
    case HttpFailure::cannotResolve:
        return "无法解析域名";
    case HttpFailure::cannotConnect:
        return "无法连接";
    case HttpFailure::timedOut:
        return "连接超时";
    case HttpFailure::tooSlow:
        return "传输过慢";
    case HttpFailure::tooLarge:
        return "响应过大";
    case HttpFailure::cutShort:
        return "连接中断";
    case HttpFailure::cancelled:
        return "已取消";
    case HttpFailure::other:
        return outcome.detail.empty() ? "请求失败" : "请求失败（" + outcome.detail + "）";
    }
    std::string text = "HTTP " + text::decimal(outcome.status);
    // Retry-After is either a number of seconds or a date; only the number
    // reads well in a short text.
    const std::string wait = text::trimSpaces(outcome.retryAfter);
    if ((outcome.status == 429 || outcome.status == 503) && isWholeNumber(wait)) {
        text.append("，").append(wait).append(" 秒后可重试");
    }
    return text;
}

}  // namespace velmora
