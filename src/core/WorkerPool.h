#pragma once

#include <cstdint>
#include <memory>
#include <optional>

namespace velmora {

// A job: a routine and two integers, run on a worker thread. Its own shared
// data it must guard itself.
using JobRoutine = void (*)(std::int32_t first, std::int32_t second);

enum class PoolState : std::int32_t { stopped = 0, running = 1, starting = 2, stopping = 3 };

// What stop() does with queued jobs, and whether it waits until the pool is
// stopped. A value outside these four counts as discard.
enum class StopMode : std::int32_t {
    discard = 0,        // drop queued jobs, wait
    drain = 1,          // run queued jobs first, wait
    discardNoWait = 2,  // drop queued jobs, return at once
    drainNoWait = 3,    // run queued jobs first, return at once
};

// Arguments of WorkerPool::start; a field left empty takes its default.
struct PoolStartOptions {
    std::optional<std::int32_t> coreWorkers{};    // 5; below 1 means 1
    std::optional<std::int32_t> maxWorkers{};     // 20; raised to the core workers
    std::optional<std::int32_t> idleTimeoutMs{};  // 10000; at least 100
    bool pumpEvents = false;                      // keep the window responsive while starting
    // 0 = platform default; below 8192 becomes 8192, otherwise rounded down to
    // a multiple of 4096 (setStackSize rounds to 8192: each call keeps its own).
    std::optional<std::int32_t> stackSize{};
};

struct PoolCore;

// Runs jobs first-in, first-out on worker threads. `start` makes the core
// workers, which live until the pool stops; while queued plus running jobs
// exceed the live workers, a manager thread adds one worker at a time up to
// maxWorkers, and each such added worker leaves after idleTimeoutMs without a
// job. The pool can be paused (workers hold the job they took) and stopped by
// dropping or by draining the queue.
//
// Meant to be driven from one thread; the readers may be called from any.
// The pool's state lives in a block that every pool thread shares, so
// destroying the pool (which stops it with discardNoWait) never pulls anything
// from under a worker that is still finishing its job.
class WorkerPool {
public:
    WorkerPool();
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // True when the pool is now running; false, changing nothing, unless it
    // was stopped, and false when no worker could be made.
    bool start(const PoolStartOptions& options = {});

    // True when the pool was stopped already, or, for the waiting modes, once
    // its last worker has left, or, for the other modes, as soon as the stop
    // is under way. False during a start or another stop, and when
    // `timeoutMs` (above 0) ran out first; the pool still stops afterwards.
    bool stop(StopMode mode = StopMode::discard, std::int32_t timeoutMs = 0, bool pumpEvents = false);

    // Queues a job; false when the pool is not running or the routine is null.
    bool submit(JobRoutine routine, std::int32_t first, std::int32_t second = 0);
    // As submit(), with the routine given by its address.
    bool submitAddress(std::uintptr_t routine, std::int32_t first, std::int32_t second = 0);

    // Pausing is only possible while running; stop() ends a pause.
    void pause();
    void resume();
    // True when the pool, running, was not paused or resumed within the
    // time-out (none or negative = no limit).
    bool waitUntilResumed(std::optional<std::int32_t> timeoutMs = std::nullopt);
    // True when a job ended within the time-out (none or negative = no limit)
    // since the last such wait; with `pumpEvents` the wait goes in 20 ms
    // slices with the window's events processed before each.
    bool waitForJobEnd(std::optional<std::int32_t> timeoutMs = std::nullopt, bool pumpEvents = false);

    // No job queued and none running.
    bool isIdle() const;
    PoolState state() const;
    std::int32_t workerCount() const;
    std::int32_t busyCount() const;
    std::int32_t queuedCount() const;
    std::int32_t idleWorkerCount() const;
    std::int32_t maxWorkers() const;
    std::int32_t idleTimeoutMs() const;
    std::int32_t stackSize() const;

    // The setters act only while running. Lowering the maximum ends no worker.
    void setMaxWorkers(std::int32_t n);
    void setIdleTimeout(std::int32_t ms);
    // 0 = platform default; below 8192 becomes 8192, otherwise rounded down
    // to a multiple of 8192. Applies to workers made afterwards. The stored
    // value is what the readers report; a thread is never given less than
    // 64 KiB, which today's runtime and sanitizers need.
    void setStackSize(std::int32_t bytes);

private:
    std::shared_ptr<PoolCore> core_;
};

}  // namespace velmora
