#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace velmora {

// A flag that one waiter consumes: set() releases exactly one wait (now or the
// next one to come); setting it again before it is consumed changes nothing.
// Initially clear.
class AutoResetSignal {
public:
    void set();
    void reset() { set_.store(false); }
    void wait();
    // True when the signal came within `timeout`; it is then consumed.
    bool waitFor(std::chrono::milliseconds timeout);

private:
    std::atomic<bool> set_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
};

// A flag that stays set until reset; while set, every wait returns at once.
// Initially clear.
class ManualResetSignal {
public:
    void set();
    void reset() { set_.store(false); }
    bool isSet() const { return set_.load(); }
    void wait();
    // True when the signal was set within `timeout`.
    bool waitFor(std::chrono::milliseconds timeout);

private:
    std::atomic<bool> set_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
};

}  // namespace velmora
