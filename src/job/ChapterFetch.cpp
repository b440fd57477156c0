#include "job/ChapterFetch.h"

#include "core/Text.h"
#include "job/ChapterFiles.h"
#include "job/ChapterText.h"
#include "web/HttpRequest.h"
#include "web/PageDecoding.h"

namespace velmora {
namespace {

bool cancelled(const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// Why a GET did not give a usable page: the transfer's failure, an error
// status (even when it came with a page), or an empty page. Empty when the
// answer looks fine.
std::string responseFailure(const HttpOutcome& outcome, std::string_view page)
{
    if (outcome.failure != HttpFailure::none || outcome.status < 200 || outcome.status > 299) {
        return describeHttpOutcome(outcome);
    }
    return page.empty() ? "页面为空" : "";
}

} // namespace

std::string FetchPageText(std::string_view address, const std::atomic<bool>* cancel, std::string* failure)
{
    if (cancelled(cancel)) {
        if (failure != nullptr) {
            *failure = kCancelled;
        }
        return {};
    }
    std::string responseHeaders;
    HttpOutcome outcome;
    const std::string body = HttpRequest(address, 0, {}, nullptr, nullptr, nullptr, &responseHeaders, false, nullptr,
                                         {}, HttpCallOptions{cancel, &outcome});
    std::string page = ConvertIfUtf8(DecodePageBody(body, responseHeaders));
    if (failure != nullptr) {
        *failure = cancelled(cancel) ? std::string(kCancelled) : responseFailure(outcome, page);
    }
    return cancelled(cancel) ? std::string() : page;
}

std::optional<std::string> FetchChapterHttp(std::string_view address, std::string_view title,
                                            std::string_view leftMarker, std::string_view rightMarker,
                                            const std::function<void(int attempt, const std::string& lastFailure)>&
                                                beforeAttempt,
                                            const std::atomic<bool>* cancel, std::string* failure)
{
    const std::string left = ResolveQuotePlaceholder(leftMarker);
    std::string reason;
    for (int attempt = 1; attempt <= kHttpAttempts && !cancelled(cancel); ++attempt) {
        if (beforeAttempt) {
            beforeAttempt(attempt, reason);
        }
        const std::string text = FetchPageText(address, cancel, &reason);
        if (text.empty()) {
            continue;
        }
        if (text::find(text, left) != -1) {
            if (failure != nullptr) {
                failure->clear();
            }
            return ChapterFileText(title, text, leftMarker, rightMarker);
        }
        if (reason.empty()) {
            reason = kNoLeftMarker;
        }
    }
    if (failure != nullptr) {
        *failure = cancelled(cancel) ? std::string(kCancelled) : reason;
    }
    return std::nullopt;
}

} // namespace velmora
