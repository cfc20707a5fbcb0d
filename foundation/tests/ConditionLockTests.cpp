#include <waterline/foundation/ConditionLock.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using namespace waterline;
using namespace std::chrono_literals;

namespace {

TEST(ConditionLock, HandsWorkBackAndForthBetweenTwoThreads)
{
    // The worker asks, the other side answers under condition 2, the worker goes on.
    ConditionLock handOff(1);
    std::vector<std::string> steps;
    std::thread answerer([&] {
        handOff.lockWhenCondition(1);
        steps.push_back("answered");
        handOff.unlockWithCondition(2);
    });
    handOff.lockWhenCondition(2);
    steps.push_back("used answer");
    handOff.unlockWithCondition(1);
    answerer.join();
    EXPECT_EQ(steps, (std::vector<std::string>{"answered", "used answer"}));
    EXPECT_EQ(handOff.condition(), 1);
}

TEST(ConditionLock, TryAndTimeOut)
{
    ConditionLock lock(1);
    EXPECT_FALSE(lock.tryLockWhenCondition(2));
    EXPECT_FALSE(lock.lockWhenCondition(2, 10ms));
    EXPECT_TRUE(lock.tryLockWhenCondition(1));
    EXPECT_FALSE(lock.tryLock()); // not recursive
    EXPECT_FALSE(lock.lockWhenCondition(1, 10ms));
    lock.unlock();
    EXPECT_EQ(lock.condition(), 1);
    EXPECT_TRUE(lock.tryLock());
    lock.unlockWithCondition(5);
    EXPECT_TRUE(lock.lockWhenCondition(5, 10ms));
    lock.unlock();
}

TEST(ConditionLock, MayBeUnlockedByAnotherThread)
{
    ConditionLock lock;
    lock.lock();
    std::thread other([&] { lock.unlockWithCondition(3); });
    other.join();
    EXPECT_TRUE(lock.tryLockWhenCondition(3));
    lock.unlock();
}

} // namespace
