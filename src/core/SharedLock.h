#pragma once

#include <mutex>

namespace velmora {

// A lock that the thread holding it may take again; each `enter` (and each
// successful `tryEnter`) is paired with one `leave`.
class SharedLock {
public:
    void enter() { mutex_.lock(); }
    void leave() { mutex_.unlock(); }
    bool tryEnter() { return mutex_.try_lock(); }

    // Lockable names, so std::lock_guard and std::unique_lock work too.
    void lock() { enter(); }
    void unlock() { leave(); }
    bool try_lock() { return tryEnter(); }

private:
    std::recursive_mutex mutex_;
};

}  // namespace velmora
