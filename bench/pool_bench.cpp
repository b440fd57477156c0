// Throughput and start delay of the worker pool.
//
// 1. One million empty jobs on a pool started with the defaults: submit them
//    all, wait until the pool is idle, report jobs per second.
// 2. On an idle pool with the defaults, one job at a time: the delay from
//    submit to the job starting, over many samples (median and tail), once
//    with the workers asleep (a pause before each job) and once with the
//    jobs back to back.

#include "core/WorkerPool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

using namespace velmora;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<std::int64_t> jobsRun{0};
std::atomic<std::int64_t> startedAt{0};

std::int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void emptyJob(std::int32_t, std::int32_t)
{
    jobsRun.fetch_add(1, std::memory_order_relaxed);
}

void stampJob(std::int32_t, std::int32_t)
{
    startedAt.store(nowNs(), std::memory_order_release);
}

void waitUntilIdle(const WorkerPool& pool)
{
    while (!pool.isIdle()) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void throughput()
{
    constexpr int kJobs = 1'000'000;
    WorkerPool pool;
    pool.start();
    const auto begin = Clock::now();
    for (int i = 0; i < kJobs; ++i) {
        pool.submit(emptyJob, i);
    }
    const auto submitted = Clock::now();
    waitUntilIdle(pool);
    const auto end = Clock::now();
    const double seconds = std::chrono::duration<double>(end - begin).count();
    const double submitSeconds = std::chrono::duration<double>(submitted - begin).count();
    std::printf("throughput: %d empty jobs in %.3f s = %.0f jobs/s (submitting took %.3f s); "
                "ran %lld, workers at the end %d\n",
                kJobs, seconds, kJobs / seconds, submitSeconds, static_cast<long long>(jobsRun.load()),
                pool.workerCount());
    pool.stop(StopMode::discard);
}

void startDelay(bool asleep)
{
    constexpr int kSamples = 10'000;
    WorkerPool pool;
    pool.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<double> delaysUs;
    delaysUs.reserve(kSamples);
    for (int i = 0; i < kSamples; ++i) {
        if (asleep) {
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
        startedAt.store(0);
        const std::int64_t submittedAt = nowNs();
        pool.submit(stampJob, i);
        std::int64_t started = 0;
        while ((started = startedAt.load(std::memory_order_acquire)) == 0) {
            std::this_thread::yield();
        }
        delaysUs.push_back(static_cast<double>(started - submittedAt) / 1000.0);
        waitUntilIdle(pool);
    }
    std::sort(delaysUs.begin(), delaysUs.end());
    const auto at = [&](double q) { return delaysUs[static_cast<std::size_t>(q * (delaysUs.size() - 1))]; };
    std::printf("start delay on an idle pool, workers %s, %d samples: median %.1f us, p90 %.1f us, p99 %.1f us, "
                "max %.1f us\n",
                asleep ? "asleep" : "just done", kSamples, at(0.5), at(0.9), at(0.99), delaysUs.back());
    pool.stop(StopMode::discard);
}

}  // namespace

int main()
{
    throughput();
    startDelay(true);
    startDelay(false);
    return 0;
}
