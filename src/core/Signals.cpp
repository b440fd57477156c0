#include "core/Signals.h"

namespace velmora {

// The flag itself is atomic so that setting an already set signal, and
// passing an open gate, cost no lock. A setter that changes the flag takes
// and drops the mutex before notifying: a waiter tests the flag only while
// holding the mutex, so it is either past its test (and sees the flag) or
// already asleep (and gets the notification).

void AutoResetSignal::set()
{
    if (set_.exchange(true)) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
    }
    changed_.notify_one();
}

void AutoResetSignal::wait()
{
    if (set_.exchange(false)) {
        return;
    }
    std::unique_lock<std::mutex> hold(mutex_);
    while (!set_.exchange(false)) {
        changed_.wait(hold);
    }
}

bool AutoResetSignal::waitFor(std::chrono::milliseconds timeout)
{
    if (set_.exchange(false)) {
        return true;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> hold(mutex_);
    while (!set_.exchange(false)) {
        if (changed_.wait_until(hold, deadline) == std::cv_status::timeout) {
            return set_.exchange(false);
        }
    }
    return true;
}

void ManualResetSignal::set()
{
    if (set_.exchange(true)) {
        return;
    }
    {
        std::lock_guard<std::mutex> hold(mutex_);
    }
    changed_.notify_all();
}

void ManualResetSignal::wait()
{
    if (set_.load()) {
        return;
    }
    std::unique_lock<std::mutex> hold(mutex_);
    changed_.wait(hold, [this] { return set_.load(); });
}

bool ManualResetSignal::waitFor(std::chrono::milliseconds timeout)
{
    if (set_.load()) {
        return true;
    }
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, timeout, [this] { return set_.load(); });
}

}  // namespace velmora
