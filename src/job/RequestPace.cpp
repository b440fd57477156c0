#include "job/RequestPace.h"

#include <algorithm>
#include <ctime>
#include <string>
#include <thread>

namespace velmora {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollSlice = std::chrono::milliseconds(50);

bool isCancelled(const std::atomic<bool>* cancel)
{
    return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

// Seconds from now to an HTTP date ("Wed, 21 Oct 2026 07:28:00 GMT"), or -1.
long long secondsUntilHttpDate(std::string_view value)
{
    std::tm when{};
    const std::string text(value);
    const char* end = ::strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S", &when);
    if (end == nullptr) {
        return -1;
    }
    const std::time_t at = ::timegm(&when);
    return std::max<long long>(0, static_cast<long long>(at - std::time(nullptr)));
}

}  // namespace

RequestPace::RequestPace(int maxParallel, int minIntervalMs)
    : maxParallel_(std::max(0, maxParallel)), minIntervalMs_(std::max(0, minIntervalMs)),
      random_(static_cast<unsigned>(Clock::now().time_since_epoch().count()))
{
}

bool RequestPace::acquire(const std::atomic<bool>* cancel)
{
    if (!limited()) {
        return !isCancelled(cancel);
    }
    std::unique_lock lock(mutex_);
    for (;;) {
        if (isCancelled(cancel)) {
            return false;
        }
        const auto now = Clock::now();
        const bool free = maxParallel_ == 0 || running_ < maxParallel_;
        if (free && now >= nextStart_) {
            ++running_;
            if (minIntervalMs_ > 0) {
                // Up to half the interval again, at random.
                std::uniform_int_distribution<int> jitter(0, minIntervalMs_ / 2);
                nextStart_ = now + std::chrono::milliseconds(minIntervalMs_ + jitter(random_));
            }
            return true;
        }
        const auto until = free ? std::min(nextStart_, now + kPollSlice) : now + kPollSlice;
        freed_.wait_until(lock, until);
    }
}

void RequestPace::release()
{
    if (!limited()) {
        return;
    }
    {
        std::lock_guard lock(mutex_);
        --running_;
    }
    freed_.notify_one();
}

bool sleepUnlessCancelled(std::chrono::milliseconds pause, const std::atomic<bool>* cancel)
{
    const auto deadline = Clock::now() + pause;
    for (;;) {
        if (isCancelled(cancel)) {
            return false;
        }
        const auto now = Clock::now();
        if (now >= deadline) {
            return true;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(deadline - now, kPollSlice));
    }
}

std::chrono::milliseconds retryWait(std::string_view retryAfter, int throttledCount)
{
    long long seconds = -1;
    if (!retryAfter.empty()
        && std::all_of(retryAfter.begin(), retryAfter.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        seconds = retryAfter.size() > 6 ? kLongestRetryWait.count() : std::stoll(std::string(retryAfter));
    } else if (!retryAfter.empty()) {
        seconds = secondsUntilHttpDate(retryAfter);
    }
    if (seconds < 0) {
        seconds = 1LL << std::clamp(throttledCount - 1, 0, 6);
    }
    return std::chrono::seconds(std::min<long long>(seconds, kLongestRetryWait.count()));
}

}  // namespace velmora
