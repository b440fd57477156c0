#include "core/ProgramGlobals.h"
#include "support/Eventually.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

using namespace velmora;
using namespace std::chrono_literals;
using velmora::test::eventually;

namespace {

// The set the jobs below work on, as a download job would reach the
// program's own set.
ProgramGlobals* jobGlobals = nullptr;
std::atomic<int> jobsFinished{0};
std::mutex gateMutex;
std::condition_variable gateOpened;
bool gateOpen = false;

// Touches the counter and the lock the way a download job does, before and
// after a short piece of work.
void progressJob(std::int32_t, std::int32_t)
{
    ProgramGlobals& g = *jobGlobals;
    {
        std::lock_guard<SharedLock> hold(g.progressLock());
        g.failedCount().increment();
    }
    std::this_thread::sleep_for(10ms);
    {
        std::lock_guard<SharedLock> hold(g.progressLock());
        g.failedCount().increment();
    }
    jobsFinished.fetch_add(1);
}

void heldProgressJob(std::int32_t, std::int32_t)
{
    ProgramGlobals& g = *jobGlobals;
    g.failedCount().increment();
    {
        std::unique_lock<std::mutex> hold(gateMutex);
        gateOpened.wait(hold, [] { return gateOpen; });
    }
    std::lock_guard<SharedLock> hold(g.progressLock());
    g.failedCount().increment();
    jobsFinished.fetch_add(1);
}

TEST(ProgramGlobalsTest, MadeReadyToUse)
{
    const ProgramGlobals::Handle g = ProgramGlobals::create();
    EXPECT_EQ(g->workerPool().state(), PoolState::stopped);
    EXPECT_EQ(g->failedCount().value(), 0);
    ASSERT_TRUE(g->progressLock().tryEnter());
    g->progressLock().leave();
}

TEST(ProgramGlobalsTest, ReleaseWhileJobsRunWaitsForThemToLeave)
{
    ProgramGlobals* g = ProgramGlobals::create(5000).release();
    jobGlobals = g;
    jobsFinished = 0;
    ASSERT_TRUE(g->workerPool().start({.coreWorkers = 3}));
    for (int i = 0; i < 30; ++i) {
        ASSERT_TRUE(g->workerPool().submit(progressJob, i));
    }
    ASSERT_TRUE(eventually([&] { return g->failedCount().value() > 0; }));
    EXPECT_TRUE(ProgramGlobals::release(g));
    jobGlobals = nullptr;
    EXPECT_LT(jobsFinished.load(), 30);  // the queued ones were dropped
}

TEST(ProgramGlobalsTest, SetIsKeptWhenAJobOutlastsTheReleaseWait)
{
    ProgramGlobals* g = ProgramGlobals::create(30).release();
    jobGlobals = g;
    jobsFinished = 0;
    gateOpen = false;
    ASSERT_TRUE(g->workerPool().start({.coreWorkers = 1}));
    ASSERT_TRUE(g->workerPool().submit(heldProgressJob, 0));
    ASSERT_TRUE(eventually([&] { return g->failedCount().value() == 1; }));

    EXPECT_FALSE(ProgramGlobals::release(g));
    EXPECT_FALSE(ProgramGlobals::release(g));  // once is enough
    {
        std::lock_guard<std::mutex> hold(gateMutex);
        gateOpen = true;
    }
    gateOpened.notify_all();
    ASSERT_TRUE(eventually([&] { return jobsFinished.load() == 1; }));
    EXPECT_EQ(g->failedCount().value(), 2);
    EXPECT_TRUE(eventually([&] { return g->workerPool().state() == PoolState::stopped; }));
}

TEST(ProgramGlobalsTest, ProgramSetIsMadeOnceAndReleasedOnce)
{
    ProgramGlobals& g = startProgramGlobals();
    EXPECT_EQ(&startProgramGlobals(), &g);
    EXPECT_EQ(programGlobals(), &g);
    ASSERT_TRUE(g.workerPool().start({.coreWorkers = 1}));
    releaseProgramGlobals();
    EXPECT_EQ(programGlobals(), nullptr);
    releaseProgramGlobals();
    EXPECT_EQ(programGlobals(), nullptr);
}

// The exit button ends the program with std::exit while downloads run.
TEST(ProgramGlobalsDeathTest, ExitWhileJobsRunEndsCleanly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ProgramGlobals& g = startProgramGlobals();
            jobGlobals = &g;
            g.workerPool().start({.coreWorkers = 4});
            for (int i = 0; i < 100; ++i) {
                g.workerPool().submit(progressJob, i);
            }
            while (g.failedCount().value() < 4) {
                std::this_thread::sleep_for(1ms);
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
