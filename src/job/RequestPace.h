#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string_view>

// The pace a run keeps with one site: at most a number of requests at once
// and a least interval between the starts of two requests, lengthened by a
// random part so the requests do not arrive like clockwork. Shared by every
// worker of a run; safe on any thread.
namespace velmora {

class RequestPace {
public:
    // `maxParallel` 0 means no limit of its own (the worker pool's);
    // `minIntervalMs` 0 means no pause. With both 0, `acquire` and
    // `release` cost nothing but a check.
    RequestPace(int maxParallel = 0, int minIntervalMs = 0);

    // Waits until a request may start, then counts it as under way. False,
    // with nothing counted, once `*cancel` turns true while waiting (seen
    // within about 50 ms).
    bool acquire(const std::atomic<bool>* cancel);
    // The request that `acquire` let start has ended.
    void release();

    bool limited() const { return maxParallel_ > 0 || minIntervalMs_ > 0; }

private:
    const int maxParallel_;
    const int minIntervalMs_;
    std::mutex mutex_;
    std::condition_variable freed_;
    int running_ = 0;
    std::chrono::steady_clock::time_point nextStart_{};
    std::minstd_rand random_;
};

// Holds one request's place in a pace for its lifetime.
class PaceSlot {
public:
    PaceSlot(RequestPace* pace, const std::atomic<bool>* cancel)
        : pace_(pace), held_(pace == nullptr || pace->acquire(cancel))
    {
    }
    ~PaceSlot()
    {
        if (pace_ != nullptr && held_) {
            pace_->release();
        }
    }
    PaceSlot(const PaceSlot&) = delete;
    PaceSlot& operator=(const PaceSlot&) = delete;

    bool held() const { return held_; }

private:
    RequestPace* pace_;
    bool held_;
};

// Sleeps for `pause`, or less when `*cancel` turns true (seen within about
// 50 ms); false when it was cut short.
bool sleepUnlessCancelled(std::chrono::milliseconds pause, const std::atomic<bool>* cancel);

// How long to wait before trying a page again after a throttling answer:
// the Retry-After value (seconds, or an HTTP date) when it can be read,
// otherwise 1, 2, 4 ... seconds for the 1st, 2nd, 3rd ... such answer;
// never more than kLongestRetryWait.
inline constexpr std::chrono::seconds kLongestRetryWait{60};
std::chrono::milliseconds retryWait(std::string_view retryAfter, int throttledCount);

}  // namespace velmora
