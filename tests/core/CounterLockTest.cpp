#include "core/AtomicCounter.h"
#include "core/SharedLock.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace velmora;

TEST(AtomicCounterTest, OperationsReturnValueBeforeOrAfterAsNamed)
{
    AtomicCounter c;
    EXPECT_EQ(c.increment(), 0);
    EXPECT_EQ(c.value(), 1);
    EXPECT_EQ(c.incrementAndGet(), 2);
    EXPECT_EQ(c.decrementAndGet(), 1);
    EXPECT_EQ(c.decrement(), 1);
    EXPECT_EQ(c.add(10), 0);
    EXPECT_EQ(c.subtract(3), 10);
    EXPECT_EQ(c.exchangeAdd(1), 7);
    EXPECT_EQ(c.exchange(0), 8);
    EXPECT_EQ(c.compareExchange(5, 1), 0);
    EXPECT_EQ(c.value(), 0);
    c.increment();
    EXPECT_EQ(c.compareExchange(5, 1), 1);
    EXPECT_EQ(c.value(), 5);
}

TEST(AtomicCounterTest, ConcurrentIncrementsAreNotLost)
{
    AtomicCounter c;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 100000; ++i) {
                c.increment();
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(c.value(), 400000);
}

TEST(SharedLockTest, ReentrantForHolderExclusiveForOthers)
{
    SharedLock lock;
    lock.enter();
    EXPECT_TRUE(lock.tryEnter());
    bool otherGotIt = true;
    std::thread([&] { otherGotIt = lock.tryEnter(); }).join();
    EXPECT_FALSE(otherGotIt);
    lock.leave();
    lock.leave();
    std::thread([&] {
        otherGotIt = lock.tryEnter();
        if (otherGotIt) {
            lock.leave();
        }
    }).join();
    EXPECT_TRUE(otherGotIt);
}
