#include "job/ChapterFetch.h"

#include "core/Text.h"
#include "job/ChapterFiles.h"
#include "job/ChapterText.h"
#include "web/HttpRequest.h"
#include "web/PageDecoding.h"

namespace velmora {

std::optional<std::string> FetchChapterHttp(std::string_view address, std::string_view title,
                                            std::string_view leftMarker, std::string_view rightMarker,
                                            const std::function<void(int attempt)>& beforeAttempt)
{
    const std::string left = ResolveQuotePlaceholder(leftMarker);
    for (int attempt = 1; attempt <= kHttpAttempts; ++attempt) {
        if (beforeAttempt) {
            beforeAttempt(attempt);
        }
        std::string responseHeaders;
        const std::string body = HttpRequest(address, 0, {}, nullptr, nullptr, nullptr, &responseHeaders);
        const std::string page = DecodePageBody(body, responseHeaders);
        if (page.empty()) {
            continue;
        }
        const std::string text = ConvertIfUtf8(page);
        if (text::find(text, left) != -1) {
            return ChapterFileText(title, text, leftMarker, rightMarker);
        }
    }
    return std::nullopt;
}

} // namespace velmora
