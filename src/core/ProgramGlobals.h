#pragma once

#include "core/AtomicCounter.h"
#include "core/SharedLock.h"
#include "core/WorkerPool.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace velmora {

// The browser capture's current document: the text of the page captured
// last, replaced by every capture. Empty before the first one; only ever used
// on the window thread.
struct CapturedDocument {
    std::string text;  // GBK
};

// The objects that exist once per program and are shared by the window thread
// and the download workers. They are made, and released, in this order: the
// worker pool (stopped), the counter of chapters given up, the captured
// document, and the lock that serialises progress updates.
//
// Releasing the set stops the pool without waiting for queued jobs and then
// waits, up to the set's release wait, for the pool's last worker to leave,
// because a running job may still count a chapter given up. Only then are
// the objects freed. A job that outlasts the wait (it can only be stuck, for
// instance in a write to a file system that no longer answers) gets its objects
// kept instead: the whole set is left in place, still reachable, for the
// rest of the process's life rather than freed under a live worker.
class ProgramGlobals {
public:
    static constexpr std::int32_t kDefaultReleaseWaitMs = 3000;

    struct Release {
        void operator()(ProgramGlobals* globals) const noexcept;
    };
    using Handle = std::unique_ptr<ProgramGlobals, Release>;

    // Makes a set, ready to use.
    static Handle create(std::int32_t releaseWaitMs = kDefaultReleaseWaitMs);
    // Releases a set as described above. True when it was freed, false when
    // it was kept because a worker outlasted the wait (or it was null).
    static bool release(ProgramGlobals* globals) noexcept;

    ProgramGlobals(const ProgramGlobals&) = delete;
    ProgramGlobals& operator=(const ProgramGlobals&) = delete;

    WorkerPool& workerPool() { return *workerPool_; }
    AtomicCounter& failedCount() { return *failedCount_; }
    CapturedDocument& currentDocument() { return *currentDocument_; }
    // Part of the set for code that serialises progress across threads; the
    // download engine keeps its own per-run mutex, so nothing takes it today.
    SharedLock& progressLock() { return *progressLock_; }

private:
    friend void releaseProgramGlobals() noexcept;

    explicit ProgramGlobals(std::int32_t releaseWaitMs);
    ~ProgramGlobals();

    // Release, first withdrawing the set from `shownAt` when it is freed.
    static bool release(ProgramGlobals* globals, std::atomic<ProgramGlobals*>* shownAt) noexcept;

    std::atomic<bool> released_{false};
    std::int32_t releaseWaitMs_;
    std::unique_ptr<WorkerPool> workerPool_;
    std::unique_ptr<AtomicCounter> failedCount_;
    std::unique_ptr<CapturedDocument> currentDocument_;
    std::unique_ptr<SharedLock> progressLock_;
    ProgramGlobals* nextKept_ = nullptr;
};

// The program's own set. startProgramGlobals makes it once, at program start,
// and registers its release with std::atexit, so it is released whenever the
// program ends normally: main returns (the window closed, the exit button's
// QCoreApplication::exit, a command of velmora-cli finished) or std::exit is
// called. velmora-cli's second Ctrl-C ends the process with _exit on purpose,
// without it. Both programs pass references to the set on; download jobs find
// their run through the engine, not through the set. programGlobals() is for
// code that holds no reference.
ProgramGlobals& startProgramGlobals();
// The program's set; null before startProgramGlobals and once it was freed
// (a set kept for a worker that outlasted the release stays visible here).
ProgramGlobals* programGlobals();
// Releases the program's set now; later calls, and the one at exit, do nothing.
void releaseProgramGlobals() noexcept;

}  // namespace velmora
