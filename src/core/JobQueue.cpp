#include "core/JobQueue.h"

#include <thread>

namespace velmora {

namespace {

constexpr std::size_t kInitialCapacity = 64;
// How long a taker that finds the queue empty keeps looking before it
// sleeps: a few microseconds, enough to catch a caller that is posting a
// stream of short jobs without a thread switch per job.
constexpr int kSpinRounds = 1000;

void relaxCpu()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

void JobQueue::open()
{
    std::lock_guard<std::mutex> hold(mutex_);
    ring_.assign(kInitialCapacity, JobPacket{});
    head_ = 0;
    size_ = 0;
    available_.store(0);
    open_ = true;
}

void JobQueue::close(std::atomic<std::int32_t>& queued)
{
    std::vector<JobPacket> dropped;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        open_ = false;
        dropped.swap(ring_);
        head_ = 0;
        size_ = 0;
        available_.store(0);
        queued.store(0);
    }
    arrived_.notify_all();
}

bool JobQueue::post(const JobPacket& packet)
{
    std::unique_lock<std::mutex> hold(mutex_);
    return open_ && pushLocked(packet, hold);
}

bool JobQueue::post(const JobPacket& packet, std::atomic<std::int32_t>& queued)
{
    std::unique_lock<std::mutex> hold(mutex_);
    if (!open_) {
        return false;
    }
    queued.fetch_add(1);
    return pushLocked(packet, hold);
}

bool JobQueue::pushLocked(const JobPacket& packet, std::unique_lock<std::mutex>& hold)
{
    if (size_ == ring_.size()) {
        // Unroll the ring into a buffer twice as large, oldest packet first.
        std::vector<JobPacket> larger(ring_.size() * 2);
        for (std::size_t i = 0; i < size_; ++i) {
            larger[i] = ring_[(head_ + i) % ring_.size()];
        }
        ring_.swap(larger);
        head_ = 0;
    }
    ring_[(head_ + size_) % ring_.size()] = packet;
    ++size_;
    available_.store(size_, std::memory_order_relaxed);
    // Wake a sleeping taker only for a packet that no taker already on its
    // way (woken, or looking before it sleeps) will take.
    const std::size_t coming = static_cast<std::size_t>(woken_) + (spinning_ ? 1 : 0);
    const bool wake = waiting_ > woken_ && size_ > coming;
    if (wake) {
        ++woken_;
    }
    hold.unlock();
    if (wake) {
        arrived_.notify_one();
    }
    return true;
}

void JobQueue::leaveWaitLocked()
{
    --waiting_;
    if (woken_ > 0) {
        --woken_;
    }
}

bool JobQueue::take(JobPacket& packet, std::optional<std::chrono::milliseconds> timeout)
{
    std::unique_lock<std::mutex> hold(mutex_);
    if (open_ && size_ == 0 && !spinning_) {
        spinning_ = true;
        hold.unlock();
        for (int i = 0; i < kSpinRounds && available_.load(std::memory_order_relaxed) == 0; ++i) {
            relaxCpu();
        }
        hold.lock();
        spinning_ = false;
    }
    if (timeout) {
        const auto deadline = std::chrono::steady_clock::now() + *timeout;
        while (open_ && size_ == 0) {
            ++waiting_;
            const std::cv_status status = arrived_.wait_until(hold, deadline);
            leaveWaitLocked();
            if (status == std::cv_status::timeout) {
                break;
            }
        }
    } else {
        while (open_ && size_ == 0) {
            ++waiting_;
            arrived_.wait(hold);
            leaveWaitLocked();
        }
    }
    if (!open_ || size_ == 0) {
        return false;
    }
    packet = ring_[head_];
    head_ = (head_ + 1) % ring_.size();
    --size_;
    available_.store(size_, std::memory_order_relaxed);
    return true;
}

}  // namespace velmora
