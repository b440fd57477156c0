#include "core/ProgramGlobals.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace velmora {

namespace {

// Sets whose workers outlasted their release. Linked from a global, so they
// stay reachable (and leak checkers see them as such) until the process ends.
std::atomic<ProgramGlobals*> keptSets{nullptr};

std::atomic<ProgramGlobals*> programSet{nullptr};

bool waitUntilStopped(const WorkerPool& pool, std::int32_t waitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (pool.state() != PoolState::stopped) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace

ProgramGlobals::ProgramGlobals(std::int32_t releaseWaitMs)
    : releaseWaitMs_(releaseWaitMs), workerPool_(std::make_unique<WorkerPool>()),
      failedCount_(std::make_unique<AtomicCounter>()), currentDocument_(std::make_unique<CapturedDocument>()),
      progressLock_(std::make_unique<SharedLock>())
{
}

ProgramGlobals::~ProgramGlobals()
{
    // Same order as they were made; members alone would go in reverse.
    workerPool_.reset();
    failedCount_.reset();
    currentDocument_.reset();
    progressLock_.reset();
}

ProgramGlobals::Handle ProgramGlobals::create(std::int32_t releaseWaitMs)
{
    return Handle(new ProgramGlobals(releaseWaitMs));
}

void ProgramGlobals::Release::operator()(ProgramGlobals* globals) const noexcept
{
    ProgramGlobals::release(globals);
}

bool ProgramGlobals::release(ProgramGlobals* globals) noexcept
{
    return release(globals, nullptr);
}

bool ProgramGlobals::release(ProgramGlobals* globals, std::atomic<ProgramGlobals*>* shownAt) noexcept
{
    if (globals == nullptr || globals->released_.exchange(true)) {
        return false;
    }
    globals->workerPool_->stop(StopMode::discardNoWait);
    if (waitUntilStopped(*globals->workerPool_, globals->releaseWaitMs_)) {
        if (shownAt != nullptr) {
            ProgramGlobals* shown = globals;
            shownAt->compare_exchange_strong(shown, nullptr);
        }
        delete globals;
        return true;
    }
    // A job may still look the set up, so it stays where it is shown.
    globals->nextKept_ = keptSets.load();
    while (!keptSets.compare_exchange_weak(globals->nextKept_, globals)) {
    }
    return false;
}

ProgramGlobals& startProgramGlobals()
{
    if (ProgramGlobals* existing = programSet.load()) {
        return *existing;
    }
    ProgramGlobals* made = ProgramGlobals::create().release();
    programSet.store(made);
    static const bool registered = std::atexit(releaseProgramGlobals) == 0;
    (void)registered;
    return *made;
}

ProgramGlobals* programGlobals()
{
    return programSet.load();
}

void releaseProgramGlobals() noexcept
{
    ProgramGlobals::release(programSet.load(), &programSet);
}

}  // namespace velmora
