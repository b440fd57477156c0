#include "core/WorkerPool.h"
#include "core/EventPump.h"
#include "support/Eventually.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <pthread.h>
#include <thread>
#include <vector>

using namespace velmora;
using namespace std::chrono_literals;
using velmora::test::eventually;

namespace {

class Gate {
public:
    void open()
    {
        {
            std::lock_guard<std::mutex> hold(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }
    void close()
    {
        std::lock_guard<std::mutex> hold(mutex_);
        open_ = false;
    }
    void pass()
    {
        std::unique_lock<std::mutex> hold(mutex_);
        opened_.wait(hold, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
};

// What the jobs of one test report; jobs are plain routines, so they find it
// through a pointer the fixture sets.
struct Probe {
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::atomic<std::size_t> stackBytes{0};
    Gate gate;
    std::mutex logMutex;
    std::vector<int> log;

    std::vector<int> logged()
    {
        std::lock_guard<std::mutex> hold(logMutex);
        return log;
    }
};
Probe* probe = nullptr;

void blockingJob(std::int32_t, std::int32_t)
{
    probe->started.fetch_add(1);
    probe->gate.pass();
    probe->finished.fetch_add(1);
}

void recordJob(std::int32_t first, std::int32_t second)
{
    {
        std::lock_guard<std::mutex> hold(probe->logMutex);
        probe->log.push_back(first * 100 + second);
    }
    probe->finished.fetch_add(1);
}

void stackJob(std::int32_t, std::int32_t)
{
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        std::size_t bytes = 0;
        pthread_attr_getstacksize(&attributes, &bytes);
        pthread_attr_destroy(&attributes);
        probe->stackBytes.store(bytes);
    }
    probe->finished.fetch_add(1);
}

std::atomic<int> pumpCalls{0};

// Stands in for the window's event processing: lets the blocked job go on
// its third call, so a pumping wait can only end by pumping.
void gateOpeningPump()
{
    if (pumpCalls.fetch_add(1) + 1 == 3) {
        probe->gate.open();
    }
}

class WorkerPoolTest : public ::testing::Test {
protected:
    void SetUp() override { probe = &probe_; }

    void TearDown() override
    {
        setEventPump(nullptr);
        probe_.gate.open();
        pool_.stop(StopMode::discard);
        EXPECT_TRUE(eventually([&] { return pool_.state() == PoolState::stopped; }));
        probe = nullptr;
    }

    void expectCleared()
    {
        EXPECT_EQ(pool_.state(), PoolState::stopped);
        EXPECT_EQ(pool_.workerCount(), 0);
        EXPECT_EQ(pool_.busyCount(), 0);
        EXPECT_EQ(pool_.queuedCount(), 0);
        EXPECT_TRUE(pool_.isIdle());
    }

    Probe probe_;
    WorkerPool pool_;
};

TEST_F(WorkerPoolTest, StoppedPoolRefusesWorkAndStopsTrivially)
{
    EXPECT_TRUE(pool_.stop());
    EXPECT_FALSE(pool_.submit(recordJob, 1));
    EXPECT_FALSE(pool_.waitUntilResumed(0));
    EXPECT_FALSE(pool_.waitForJobEnd(0));
    pool_.setMaxWorkers(7);
    pool_.setIdleTimeout(500);
    EXPECT_EQ(pool_.maxWorkers(), 0);
    EXPECT_EQ(pool_.idleTimeoutMs(), 0);
    expectCleared();
}

TEST_F(WorkerPoolTest, StartsWithDefaults)
{
    ASSERT_TRUE(pool_.start());
    EXPECT_EQ(pool_.state(), PoolState::running);
    EXPECT_EQ(pool_.workerCount(), 5);
    EXPECT_EQ(pool_.idleWorkerCount(), 5);
    EXPECT_EQ(pool_.maxWorkers(), 20);
    EXPECT_EQ(pool_.idleTimeoutMs(), 10000);
    EXPECT_EQ(pool_.stackSize(), 0);
    EXPECT_TRUE(pool_.isIdle());
}

struct StartCase {
    const char* name;
    PoolStartOptions options;
    std::int32_t workers;
    std::int32_t maxWorkers;
    std::int32_t idleTimeoutMs;
    std::int32_t stackSize;
};

void PrintTo(const StartCase& c, std::ostream* out)
{
    *out << c.name;
}

class WorkerPoolStartTest : public WorkerPoolTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(WorkerPoolStartTest, ClampsWhatIsGiven)
{
    const StartCase& c = GetParam();
    ASSERT_TRUE(pool_.start(c.options));
    EXPECT_EQ(pool_.workerCount(), c.workers);
    EXPECT_EQ(pool_.maxWorkers(), c.maxWorkers);
    EXPECT_EQ(pool_.idleTimeoutMs(), c.idleTimeoutMs);
    EXPECT_EQ(pool_.stackSize(), c.stackSize);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    Options, WorkerPoolStartTest,
    ::testing::Values(StartCase{"maximum raised to the core workers", {.coreWorkers = 8, .maxWorkers = 3}, 8, 8, 10000, 0},
                      StartCase{"core workers 0 given means 1", {.coreWorkers = 0}, 1, 20, 10000, 0},
                      StartCase{"negative core workers mean 1", {.coreWorkers = -4, .maxWorkers = -1}, 1, 1, 10000, 0},
                      StartCase{"idle time-out raised to 100", {.coreWorkers = 1, .idleTimeoutMs = 50}, 1, 20, 100, 0},
                      StartCase{"idle time-out kept above 100", {.coreWorkers = 1, .idleTimeoutMs = 250}, 1, 20, 250, 0},
                      StartCase{"small stack raised to 8192", {.coreWorkers = 1, .stackSize = 1000}, 1, 20, 10000, 8192},
                      StartCase{"stack rounded down to 4096s", {.coreWorkers = 1, .stackSize = 10000}, 1, 20, 10000, 8192},
                      StartCase{"stack 13000 rounds to 12288", {.coreWorkers = 1, .stackSize = 13000}, 1, 20, 10000, 12288},
                      StartCase{"stack 0 given is the default", {.coreWorkers = 1, .stackSize = 0}, 1, 20, 10000, 0}),
    [](const ::testing::TestParamInfo<StartCase>& caseInfo) { return "case" + std::to_string(caseInfo.index); });
// clang-format on

TEST_F(WorkerPoolTest, SettersClampAndActWhileRunning)
{
    ASSERT_TRUE(pool_.start({.coreWorkers = 3}));
    pool_.setMaxWorkers(0);
    EXPECT_EQ(pool_.maxWorkers(), 1);
    EXPECT_EQ(pool_.workerCount(), 3);  // lowering the maximum ends no worker
    pool_.setMaxWorkers(-5);
    EXPECT_EQ(pool_.maxWorkers(), 1);
    pool_.setIdleTimeout(20);
    EXPECT_EQ(pool_.idleTimeoutMs(), 100);
    pool_.setIdleTimeout(300);
    EXPECT_EQ(pool_.idleTimeoutMs(), 300);
    pool_.setStackSize(1000);
    EXPECT_EQ(pool_.stackSize(), 8192);
    pool_.setStackSize(20000);
    EXPECT_EQ(pool_.stackSize(), 16384);
    pool_.setStackSize(0);
    EXPECT_EQ(pool_.stackSize(), 0);
}

TEST_F(WorkerPoolTest, SecondStartChangesNothing)
{
    ASSERT_TRUE(pool_.start({.coreWorkers = 2, .maxWorkers = 4}));
    EXPECT_FALSE(pool_.start({.coreWorkers = 7, .maxWorkers = 9}));
    EXPECT_EQ(pool_.state(), PoolState::running);
    EXPECT_EQ(pool_.workerCount(), 2);
    EXPECT_EQ(pool_.maxWorkers(), 4);
}

TEST_F(WorkerPoolTest, RestartsAfterStopAndRunsJobsInEitherForm)
{
    ASSERT_TRUE(pool_.start({.coreWorkers = 2}));
    ASSERT_TRUE(pool_.stop());
    ASSERT_TRUE(pool_.start({.coreWorkers = 1}));
    EXPECT_EQ(pool_.workerCount(), 1);
    EXPECT_FALSE(pool_.submit(nullptr, 1));
    EXPECT_FALSE(pool_.submitAddress(0, 1));
    EXPECT_TRUE(pool_.submit(recordJob, 1, 2));
    EXPECT_TRUE(pool_.submitAddress(reinterpret_cast<std::uintptr_t>(&recordJob), 3));
    ASSERT_TRUE(pool_.stop(StopMode::drain));
    EXPECT_EQ(probe_.logged(), (std::vector<int>{102, 300}));
}

TEST_F(WorkerPoolTest, GrowsToTheMaximumUnderLoadAndShrinksBackWhenIdle)
{
    ASSERT_TRUE(pool_.start({.coreWorkers = 2, .maxWorkers = 4, .idleTimeoutMs = 100}));
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(pool_.submit(blockingJob, i));
    }
    ASSERT_TRUE(eventually([&] { return pool_.busyCount() == 4; }))
        << pool_.workerCount() << " " << pool_.maxWorkers() << " " << pool_.busyCount() << " " << pool_.queuedCount();
    EXPECT_EQ(pool_.workerCount(), 4);
    EXPECT_EQ(pool_.queuedCount(), 4);
    EXPECT_FALSE(pool_.isIdle());

    // Raising the maximum under load lets the manager add the rest.
    pool_.setMaxWorkers(6);
    ASSERT_TRUE(eventually([&] { return pool_.busyCount() == 6; }));
    EXPECT_EQ(pool_.workerCount(), 6);
    EXPECT_EQ(pool_.queuedCount(), 2);

    probe_.gate.open();
    ASSERT_TRUE(eventually([&] { return pool_.isIdle(); }));
    EXPECT_EQ(probe_.finished.load(), 8);
    ASSERT_TRUE(eventually([&] { return pool_.workerCount() == 2; }));
    std::this_thread::sleep_for(250ms);
    EXPECT_EQ(pool_.workerCount(), 2);  // core workers stay
    EXPECT_EQ(pool_.state(), PoolState::running);
}

TEST_F(WorkerPoolTest, PauseHoldsTakenJobsUntilResume)
{
    ASSERT_TRUE(pool_.start({.coreWorkers = 2, .maxWorkers = 2}));
    ASSERT_TRUE(pool_.submit(blockingJob, 0));
    ASSERT_TRUE(pool_.submit(blockingJob, 0));
    ASSERT_TRUE(eventually([&] { return pool_.busyCount() == 2; }));
    pool_.pause();
    EXPECT_FALSE(pool_.waitUntilResumed(10));
    for (int i = 1; i <= 4; ++i) {
        ASSERT_TRUE(pool_.submit(recordJob, i));
    }
    probe_.gate.open();
    ASSERT_TRUE(eventually([&] { return probe_.finished.load() == 2 && pool_.busyCount() == 0; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_TRUE(probe_.logged().empty());
    EXPECT_EQ(pool_.queuedCount(), 4);
    EXPECT_FALSE(pool_.isIdle());

    pool_.resume();
    EXPECT_TRUE(pool_.waitUntilResumed(0));
    ASSERT_TRUE(eventually([&] { return pool_.isIdle(); }));
    std::vector<int> ran = probe_.logged();
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(ran, (std::vector<int>{100, 200, 300, 400}));
}

TEST_F(WorkerPoolTest, WaitForJobEndReportsAnEndedJob)
{
    ASSERT_TRUE(pool_.start({.coreWorkers = 1}));
    EXPECT_FALSE(pool_.waitForJobEnd(10));
    ASSERT_TRUE(pool_.submit(blockingJob, 0));
    EXPECT_FALSE(pool_.waitForJobEnd(10));
    probe_.gate.open();
    EXPECT_TRUE(pool_.waitForJobEnd());
}

TEST_F(WorkerPoolTest, PumpingWaitsProcessEventsUntilDone)
{
    setEventPump(gateOpeningPump);
    pumpCalls = 0;
    ASSERT_TRUE(pool_.start({.coreWorkers = 2, .pumpEvents = true}));
    EXPECT_GE(pumpCalls.load(), 2);  // once after each worker made

    pumpCalls = 0;
    ASSERT_TRUE(pool_.submit(blockingJob, 0));
    EXPECT_TRUE(pool_.waitForJobEnd(std::nullopt, true));
    EXPECT_GE(pumpCalls.load(), 3);

    probe_.gate.close();
    pumpCalls = 0;
    ASSERT_TRUE(pool_.submit(blockingJob, 0));
    ASSERT_TRUE(eventually([&] { return probe_.started.load() == 2; }));
    EXPECT_TRUE(pool_.stop(StopMode::discard, 0, true));
    EXPECT_GE(pumpCalls.load(), 3);
    expectCleared();
}

struct StopCase {
    std::int32_t mode;
    bool waits;
    bool drains;
};

void PrintTo(const StopCase& c, std::ostream* out)
{
    *out << "mode " << c.mode;
}

class WorkerPoolStopTest : public WorkerPoolTest, public ::testing::WithParamInterface<StopCase> {};

// One worker runs a job that is held; five more wait in the queue.
TEST_P(WorkerPoolStopTest, HandlesQueuedJobsAsTheModeSays)
{
    const StopCase& c = GetParam();
    const auto mode = static_cast<StopMode>(c.mode);
    ASSERT_TRUE(pool_.start({.coreWorkers = 1, .maxWorkers = 1}));
    ASSERT_TRUE(pool_.submit(blockingJob, 0));
    ASSERT_TRUE(eventually([&] { return probe_.started.load() == 1; }));
    for (int i = 1; i <= 5; ++i) {
        ASSERT_TRUE(pool_.submit(recordJob, i));
    }

    if (c.waits) {
        std::atomic<bool> returned{false};
        bool result = false;
        std::thread stopper([&] {
            result = pool_.stop(mode);
            returned = true;
        });
        ASSERT_TRUE(eventually([&] { return pool_.state() == PoolState::stopping; }));
        EXPECT_FALSE(pool_.submit(recordJob, 9));
        EXPECT_FALSE(pool_.stop());  // a stop during a stop
        EXPECT_FALSE(returned.load());
        probe_.gate.open();
        stopper.join();
        EXPECT_TRUE(result);
    } else {
        EXPECT_TRUE(pool_.stop(mode));
        EXPECT_EQ(pool_.state(), PoolState::stopping);
        EXPECT_FALSE(pool_.submit(recordJob, 9));
        probe_.gate.open();
        ASSERT_TRUE(eventually([&] { return pool_.state() == PoolState::stopped; }));
    }
    const std::vector<int> expected = c.drains ? std::vector<int>{100, 200, 300, 400, 500} : std::vector<int>{};
    EXPECT_EQ(probe_.logged(), expected);
    expectCleared();
}

INSTANTIATE_TEST_SUITE_P(Modes, WorkerPoolStopTest,
                         ::testing::Values(StopCase{0, true, false}, StopCase{1, true, true}, StopCase{2, false, false},
                                           StopCase{3, false, true}, StopCase{7, true, false},
                                           StopCase{-1, true, false}));

TEST_F(WorkerPoolTest, StopTimeOutLeavesThePoolStopping)
{
    ASSERT_TRUE(pool_.start({.coreWorkers = 1}));
    ASSERT_TRUE(pool_.submit(blockingJob, 0));
    ASSERT_TRUE(eventually([&] { return probe_.started.load() == 1; }));
    EXPECT_FALSE(pool_.stop(StopMode::discard, 1));
    EXPECT_EQ(pool_.state(), PoolState::stopping);
    EXPECT_FALSE(pool_.submit(recordJob, 1));
    probe_.gate.open();
    ASSERT_TRUE(eventually([&] { return pool_.state() == PoolState::stopped; }));
    EXPECT_TRUE(pool_.stop());
    expectCleared();
}

TEST_F(WorkerPoolTest, WorkersGetTheStackSizeAsked)
{
    ASSERT_TRUE(pool_.start({.coreWorkers = 1, .stackSize = 1 << 20}));
    ASSERT_TRUE(pool_.submit(stackJob, 0));
    ASSERT_TRUE(eventually([&] { return probe_.finished.load() == 1; }));
    EXPECT_GE(probe_.stackBytes.load(), std::size_t{1} << 20);
    EXPECT_LT(probe_.stackBytes.load(), std::size_t{2} << 20);
}

TEST_F(WorkerPoolTest, DestroyingThePoolWhileJobsRunLetsThemFinish)
{
    auto doomed = std::make_unique<WorkerPool>();
    ASSERT_TRUE(doomed->start({.coreWorkers = 3, .maxWorkers = 3}));
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(doomed->submit(blockingJob, i));
    }
    ASSERT_TRUE(eventually([&] { return probe_.started.load() == 3; }));
    doomed.reset();
    probe_.gate.open();
    ASSERT_TRUE(eventually([&] { return probe_.finished.load() == 3; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(probe_.started.load(), 3);  // the queued ones were dropped
}

}  // namespace
