#include "core/WorkerPool.h"

#include "core/EventPump.h"
#include "core/JobQueue.h"
#include "core/Signals.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits.h>
#include <memory>
#include <pthread.h>

namespace velmora {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::int32_t kStopped = static_cast<std::int32_t>(PoolState::stopped);
constexpr std::int32_t kRunning = static_cast<std::int32_t>(PoolState::running);
constexpr std::int32_t kStarting = static_cast<std::int32_t>(PoolState::starting);
constexpr std::int32_t kStopping = static_cast<std::int32_t>(PoolState::stopping);

// The packet that tells the worker taking it to leave. No routine lives at
// this address, and submitAddress refuses it.
constexpr std::uintptr_t kStopSentinelRoutine = 0xFFFFFFFEu;
constexpr JobPacket kStopSentinel{kStopSentinelRoutine, -1, -1};

constexpr int kFailureRunLimit = 5;
constexpr milliseconds kSlice{20};
constexpr std::size_t kLeastStackBytes = 64 * 1024;

}  // namespace

struct PoolCore {
    std::atomic<std::int32_t> state{kStopped};
    // Counts starts, so a manager left over from an earlier run (one that
    // did not end within stop's wait) recognises that it is not wanted.
    std::atomic<std::int32_t> generation{0};
    std::atomic<std::int32_t> accepting{0};
    std::atomic<std::int32_t> workerCount{0};
    // Worker threads made and not yet gone, whether or not they have begun.
    // The manager grows by it, so a thread that is slow to begin is never
    // doubled, and only the thread that takes it to 0 tears the pool down,
    // so a late beginner never finds the pool gone.
    std::atomic<std::int32_t> threads{0};
    std::atomic<std::int32_t> busyCount{0};
    std::atomic<std::int32_t> queuedCount{0};
    std::atomic<std::int32_t> maxWorkers{0};
    std::atomic<std::int32_t> idleTimeoutMs{0};
    std::atomic<std::int32_t> stackSize{0};

    JobQueue queue;
    AutoResetSignal wakeManager;
    AutoResetSignal workerStarted;
    AutoResetSignal jobEnded;
    ManualResetSignal runGate;
    ManualResetSignal managerEnded;

    bool wantsMoreWorkers() const
    {
        const std::int32_t workers = workerCount.load();
        return workers < maxWorkers.load() && workers < busyCount.load() + queuedCount.load();
    }
};

namespace {

void workerLoop(const std::shared_ptr<PoolCore>& core, bool onDemand);
void managerLoop(const std::shared_ptr<PoolCore>& core, std::int32_t generation);

// What a new thread needs; it holds its own reference to the pool's state.
struct Launch {
    std::shared_ptr<PoolCore> core;
    bool manager = false;
    bool onDemand = false;
    std::int32_t generation = 0;
};

void* threadEntry(void* argument)
{
    const std::unique_ptr<Launch> launch(static_cast<Launch*>(argument));
    if (launch->manager) {
        managerLoop(launch->core, launch->generation);
    } else {
        workerLoop(launch->core, launch->onDemand);
    }
    return nullptr;
}

// Starts a detached thread; `stackBytes` 0 keeps the platform's default.
bool launchThread(std::unique_ptr<Launch> launch, std::size_t stackBytes)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    bool ready = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0;
    if (ready && stackBytes != 0) {
        const std::size_t least = std::max(kLeastStackBytes, static_cast<std::size_t>(PTHREAD_STACK_MIN));
        ready = pthread_attr_setstacksize(&attributes, std::max(stackBytes, least)) == 0;
    }
    pthread_t thread;
    const bool started = ready && pthread_create(&thread, &attributes, threadEntry, launch.get()) == 0;
    pthread_attr_destroy(&attributes);
    if (started) {
        launch.release();  // the thread owns it now
    }
    return started;
}

bool launchWorker(const std::shared_ptr<PoolCore>& core, bool onDemand)
{
    auto launch = std::make_unique<Launch>();
    launch->core = core;
    launch->onDemand = onDemand;
    core->threads.fetch_add(1);
    if (launchThread(std::move(launch), static_cast<std::size_t>(core->stackSize.load()))) {
        return true;
    }
    core->threads.fetch_sub(1);
    return false;
}

bool launchManager(const std::shared_ptr<PoolCore>& core, std::int32_t generation)
{
    auto launch = std::make_unique<Launch>();
    launch->core = core;
    launch->manager = true;
    launch->generation = generation;
    return launchThread(std::move(launch), 0);
}

// Run by the last worker to leave: the queue goes (with any job a
// discarding stop left in it), the counters return to 0, and only then is
// the pool stopped, so a new start finds everything clear.
void tearDown(PoolCore& c)
{
    c.queue.close(c.queuedCount);
    c.accepting.store(0);
    c.workerCount.store(0);
    c.threads.store(0);
    c.busyCount.store(0);
    c.state.exchange(kStopped);
    c.wakeManager.set();  // ends the wait of a stop that waits
}

void workerLoop(const std::shared_ptr<PoolCore>& core, bool onDemand)
{
    PoolCore& c = *core;
    c.workerCount.fetch_add(1);
    c.workerStarted.set();
    for (;;) {
        JobPacket packet;
        const bool taken =
            onDemand ? c.queue.take(packet, milliseconds(c.idleTimeoutMs.load())) : c.queue.take(packet, std::nullopt);
        // A paused pool holds its workers here, each with at most the one
        // packet it took.
        c.runGate.wait();
        if (c.accepting.load() != 1 || !taken || packet.routine == kStopSentinelRoutine) {
            break;
        }
        c.busyCount.fetch_add(1);
        c.queuedCount.fetch_sub(1);
        reinterpret_cast<JobRoutine>(packet.routine)(packet.first, packet.second);
        c.busyCount.fetch_sub(1);
        c.jobEnded.set();
    }
    c.workerCount.fetch_sub(1);
    if (c.threads.fetch_sub(1) == 1) {
        tearDown(c);
    }
}

// Waits until the worker just made has begun, for a while at most, and no
// longer once a stop is under way.
void waitForNewWorker(PoolCore& c)
{
    const auto deadline = Clock::now() + milliseconds(c.workerCount.load() * 10 + 1000);
    while (c.workerCount.load() < c.threads.load() && c.state.load() == kRunning && Clock::now() < deadline) {
        c.workerStarted.waitFor(kSlice);
    }
}

void managerLoop(const std::shared_ptr<PoolCore>& core, std::int32_t generation)
{
    PoolCore& c = *core;
    int failureRun = 0;
    c.wakeManager.wait();
    while (c.state.load() == kRunning && c.generation.load() == generation) {
        const std::int32_t workers = c.threads.load();
        if (workers < c.maxWorkers.load() && c.busyCount.load() + c.queuedCount.load() > workers) {
            if (launchWorker(core, true)) {
                failureRun = 0;
                waitForNewWorker(c);
            } else if (++failureRun == kFailureRunLimit) {
                c.maxWorkers.store(c.workerCount.load());
                failureRun = 0;
            }
        } else {
            c.wakeManager.wait();
        }
        c.runGate.wait();  // no workers are added while paused
    }
    c.managerEnded.set();
}

// A stack size given to start is rounded down to whole 4 KiB pages, while
// setStackSize rounds to 8 KiB: the two roundings differ on purpose, each is
// the documented behaviour of its call, so neither is a slip of the other.
std::int32_t startStackSize(std::int32_t bytes)
{
    if (bytes != 0 && bytes < 8192) {
        return 8192;
    }
    return bytes - bytes % 4096;
}

}  // namespace

WorkerPool::WorkerPool() : core_(std::make_shared<PoolCore>())
{
    core_->managerEnded.set();
}

WorkerPool::~WorkerPool()
{
    stop(StopMode::discardNoWait);
}

bool WorkerPool::start(const PoolStartOptions& options)
{
    PoolCore& c = *core_;
    std::int32_t expected = kStopped;
    if (!c.state.compare_exchange_strong(expected, kStarting)) {
        return false;
    }
    const bool pump = options.pumpEvents;
    const std::int32_t generation = c.generation.fetch_add(1) + 1;
    const std::int32_t coreWorkers = options.coreWorkers ? std::max(*options.coreWorkers, 1) : 5;
    c.maxWorkers.store(std::max(options.maxWorkers.value_or(20), coreWorkers));
    c.idleTimeoutMs.store(options.idleTimeoutMs ? std::max(*options.idleTimeoutMs, 100) : 10000);
    c.stackSize.store(options.stackSize ? startStackSize(*options.stackSize) : 0);

    c.queue.open();
    c.wakeManager.reset();
    c.workerStarted.reset();
    c.jobEnded.reset();
    c.runGate.set();
    c.managerEnded.reset();
    c.accepting.store(1);
    c.workerCount.store(0);
    c.threads.store(0);
    c.busyCount.store(0);
    c.queuedCount.store(0);
    if (!launchManager(core_, generation)) {
        c.managerEnded.set();
        c.queue.close(c.queuedCount);
        c.accepting.store(0);
        c.state.exchange(kStopped);
        return false;
    }

    std::int32_t made = 0;
    int failureRun = 0;
    for (std::int32_t i = 0; i < coreWorkers && failureRun < kFailureRunLimit; ++i) {
        if (launchWorker(core_, false)) {
            ++made;
            failureRun = 0;
        } else {
            ++failureRun;
        }
        if (pump) {
            pumpEvents();
        }
    }

    // Wait until every worker made counts itself, or for a while when they
    // are slow; a worker that was made is never given up on, since it will
    // count itself and then serve the pool.
    if (made > 0) {
        const auto begin = Clock::now();
        const milliseconds limit(made * 10 + 1000);
        for (;;) {
            const std::int32_t live = c.workerCount.load();
            if (live >= made || (live > 0 && Clock::now() - begin >= limit)) {
                break;
            }
            if (!c.workerStarted.waitFor(kSlice) && pump) {
                pumpEvents();
            }
        }
        c.state.exchange(kRunning);
        return true;
    }

    c.wakeManager.set();  // the manager sees the pool is not running and ends
    for (int i = 0; i < 11; ++i) {
        if (pump) {
            pumpEvents();
        }
        if (c.managerEnded.waitFor(kSlice)) {
            break;
        }
    }
    c.queue.close(c.queuedCount);
    c.accepting.store(0);
    c.state.exchange(kStopped);
    return false;
}

bool WorkerPool::stop(StopMode mode, std::int32_t timeoutMs, bool pump)
{
    PoolCore& c = *core_;
    std::int32_t expected = kRunning;
    if (!c.state.compare_exchange_strong(expected, kStopping)) {
        return expected == kStopped;
    }
    std::int32_t m = static_cast<std::int32_t>(mode);
    if (m < 0 || m > 3) {
        m = 0;
    }
    const bool discard = m == 0 || m == 2;
    const bool wait = m == 0 || m == 1;
    if (discard) {
        c.accepting.store(0);
    }
    // Release everyone who waits on the pool, ending a pause too.
    c.jobEnded.set();
    c.workerStarted.set();
    c.wakeManager.set();
    c.runGate.set();

    for (int i = 0; i < 21; ++i) {
        if (c.managerEnded.waitFor(kSlice)) {
            break;
        }
        if (pump) {
            pumpEvents();
        }
    }
    if (pump) {
        pumpEvents();
    }

    // One sentinel per worker (counting any that has not begun yet), plus
    // one. They lie behind every queued job, so a draining stop runs those
    // first. Once the last worker has left the queue is closed and further
    // posts simply fail.
    const std::int32_t workers = c.threads.load();
    c.queue.post(kStopSentinel);
    for (std::int32_t i = 1; i <= workers; ++i) {
        c.queue.post(kStopSentinel);
        if (pump && i % 100 == 0) {
            pumpEvents();
        }
    }
    if (!wait) {
        return true;
    }

    const auto begin = Clock::now();
    while (c.state.load() == kStopping) {
        if (timeoutMs > 0 && Clock::now() - begin > milliseconds(timeoutMs)) {
            return false;
        }
        c.wakeManager.waitFor(kSlice);
        if (pump) {
            pumpEvents();
        }
    }
    return true;
}

bool WorkerPool::submit(JobRoutine routine, std::int32_t first, std::int32_t second)
{
    return submitAddress(reinterpret_cast<std::uintptr_t>(routine), first, second);
}

bool WorkerPool::submitAddress(std::uintptr_t routine, std::int32_t first, std::int32_t second)
{
    PoolCore& c = *core_;
    if (c.state.load() != kRunning || routine == 0 || routine == kStopSentinelRoutine) {
        return false;
    }
    if (!c.queue.post(JobPacket{routine, first, second}, c.queuedCount)) {
        return false;
    }
    if (c.wantsMoreWorkers()) {
        c.wakeManager.set();
    }
    return true;
}

void WorkerPool::pause()
{
    if (core_->state.load() == kRunning) {
        core_->runGate.reset();
    }
}

void WorkerPool::resume()
{
    if (core_->state.load() == kRunning) {
        core_->runGate.set();
    }
}

bool WorkerPool::waitUntilResumed(std::optional<std::int32_t> timeoutMs)
{
    PoolCore& c = *core_;
    if (c.state.load() != kRunning) {
        return false;
    }
    if (!timeoutMs || *timeoutMs < 0) {
        c.runGate.wait();
        return true;
    }
    return c.runGate.waitFor(milliseconds(*timeoutMs));
}

bool WorkerPool::waitForJobEnd(std::optional<std::int32_t> timeoutMs, bool pump)
{
    PoolCore& c = *core_;
    if (c.state.load() != kRunning) {
        return false;
    }
    const bool limited = timeoutMs && *timeoutMs >= 0;
    if (!pump) {
        if (!limited) {
            c.jobEnded.wait();
            return true;
        }
        return c.jobEnded.waitFor(milliseconds(*timeoutMs));
    }
    const auto begin = Clock::now();
    for (;;) {
        pumpEvents();
        if (c.jobEnded.waitFor(kSlice)) {
            return true;
        }
        if (limited && Clock::now() - begin > milliseconds(*timeoutMs)) {
            return false;
        }
    }
}

bool WorkerPool::isIdle() const
{
    // Queued first: a job leaving the queue is counted busy before it stops
    // being counted queued, so this order never misses it.
    return core_->queuedCount.load() == 0 && core_->busyCount.load() == 0;
}

PoolState WorkerPool::state() const
{
    return static_cast<PoolState>(core_->state.load());
}

std::int32_t WorkerPool::workerCount() const
{
    return core_->workerCount.load();
}

std::int32_t WorkerPool::busyCount() const
{
    return core_->busyCount.load();
}

std::int32_t WorkerPool::queuedCount() const
{
    return core_->queuedCount.load();
}

std::int32_t WorkerPool::idleWorkerCount() const
{
    return core_->workerCount.load() - core_->busyCount.load();
}

std::int32_t WorkerPool::maxWorkers() const
{
    return core_->maxWorkers.load();
}

std::int32_t WorkerPool::idleTimeoutMs() const
{
    return core_->idleTimeoutMs.load();
}

std::int32_t WorkerPool::stackSize() const
{
    return core_->stackSize.load();
}

void WorkerPool::setMaxWorkers(std::int32_t n)
{
    PoolCore& c = *core_;
    if (c.state.load() != kRunning) {
        return;
    }
    c.maxWorkers.store(std::max(n, 1));
    if (c.wantsMoreWorkers()) {
        c.wakeManager.set();
    }
}

void WorkerPool::setIdleTimeout(std::int32_t ms)
{
    if (core_->state.load() == kRunning) {
        core_->idleTimeoutMs.store(std::max(ms, 100));
    }
}

void WorkerPool::setStackSize(std::int32_t bytes)
{
    if (core_->state.load() != kRunning) {
        return;
    }
    if (bytes != 0 && bytes < 8192) {
        bytes = 8192;
    }
    core_->stackSize.store(bytes - bytes % 8192);  // 8 KiB, not start's 4 KiB: see startStackSize
}

}  // namespace velmora
