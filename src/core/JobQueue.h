#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace velmora {

// One queued item: the routine's address and its two integers, by value.
struct JobPacket {
    std::uintptr_t routine = 0;
    std::int32_t first = 0;
    std::int32_t second = 0;
};

// First-in, first-out queue of packets with a blocking, optionally timed take.
// Packets live in a ring that only grows, so a steady flow of posts costs no
// allocation. A closed queue refuses posts and wakes every taker; a new queue
// starts closed.
class JobQueue {
public:
    // Empties the queue and accepts posts again.
    void open();
    // Drops every packet, frees the ring, refuses further posts and stores 0
    // in `queued` in the same step, so no post can count itself afterwards.
    void close(std::atomic<std::int32_t>& queued);

    // False when the queue is closed.
    bool post(const JobPacket& packet);
    // As post(), and adds one to `queued` (before the packet can be taken)
    // only when the packet was accepted.
    bool post(const JobPacket& packet, std::atomic<std::int32_t>& queued);

    // Takes the oldest packet, waiting up to `timeout` (without limit when
    // none) for one to arrive. False on time-out or when the queue is closed.
    bool take(JobPacket& packet, std::optional<std::chrono::milliseconds> timeout);

private:
    bool pushLocked(const JobPacket& packet, std::unique_lock<std::mutex>& hold);
    void leaveWaitLocked();

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<JobPacket> ring_;
    std::size_t head_ = 0;
    std::size_t size_ = 0;
    int waiting_ = 0;        // takers asleep
    int woken_ = 0;          // of those, already notified and not yet back
    bool spinning_ = false;  // one taker is looking before it sleeps
    bool open_ = false;
    // size_, readable without the mutex by the looking taker
    std::atomic<std::size_t> available_{0};
};

}  // namespace velmora
