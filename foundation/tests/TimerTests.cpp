#include "RunLoopTestSupport.h"

#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/Timer.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace waterline;
using namespace waterline::test;
using namespace std::chrono_literals;

namespace {

TEST(Timer, FiresNeverEarlyAndInDeadlineOrder)
{
    RunLoop& loop = RunLoop::current();
    struct Case {
        std::string name;
        std::chrono::milliseconds delay;
        double scheduledAt = 0;
        double firedAt = 0;
    };
    std::vector<Case> cases{{"30ms", 30ms}, {"10ms-a", 10ms}, {"0ms", 0ms}, {"20ms", 20ms}, {"10ms-b", 10ms}};
    std::vector<std::string> order;
    for (auto& c : cases) {
        c.scheduledAt = monotonicSeconds();
        Timer::singleShot(
            c.delay,
            [&] {
                c.firedAt = monotonicSeconds();
                order.push_back(c.name);
            },
            loop);
    }
    EXPECT_TRUE(runUntil(loop, kDefaultRunLoopMode, [&] { return order.size() == cases.size(); }));
    EXPECT_EQ(order, (std::vector<std::string>{"0ms", "10ms-a", "10ms-b", "20ms", "30ms"}));
    for (const auto& c : cases)
        EXPECT_GE(c.firedAt - c.scheduledAt, std::chrono::duration<double>(c.delay).count()) << c.name;
}

TEST(Timer, InvalidatedTimerNeverFires)
{
    RunLoop& loop = RunLoop::current();
    bool fired = false;
    auto timer = Timer::singleShot(
        0ns, [&] { fired = true; }, loop);
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 0.02, false), RunLoopResult::Finished);
    EXPECT_FALSE(fired);
}

TEST(Timer, FiredTimerIsNoLongerValid)
{
    RunLoop& loop = RunLoop::current();
    auto timer = Timer::singleShot(
        0ns, [] {}, loop);
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 1, true), RunLoopResult::HandledSource);
    EXPECT_FALSE(timer->isValid());
    timer->invalidate(); // harmless after firing
}

TEST(Timer, DueTimerWaitsForARunOfItsMode)
{
    RunLoop& loop = RunLoop::current();
    constexpr RunLoopMode kPrivate{"HTTPRequest"};
    bool fired = false;
    Timer::singleShot(0ns, [&] { fired = true; }, loop, {kPrivate});
    bool other = false;
    Timer::singleShot(
        20ms, [&] { other = true; }, loop);
    EXPECT_TRUE(runUntil(loop, kDefaultRunLoopMode, [&] { return other; }));
    EXPECT_FALSE(fired);
    EXPECT_EQ(loop.runMode(kPrivate, 1, true), RunLoopResult::HandledSource);
    EXPECT_TRUE(fired);
}

TEST(Timer, FiresOnTheThreadOfItsLoop)
{
    std::atomic<bool> firedOnWorker{false};
    WorkerRunLoop worker;
    RunLoop* loop = &worker.loop();
    Timer::singleShot(
        5ms,
        [&, loop] {
            firedOnWorker = loop->isCurrent() && !isMainThread();
            loop->stop();
        },
        *loop);
    worker.join();
    EXPECT_TRUE(firedOnWorker);
}

TEST(Timer, MainLoopHelpersScheduleOnTheMainLoopFromAnyThread)
{
    std::vector<std::string> fired;
    std::thread worker([&] {
        performAfterDelay(0.01, [&] { fired.push_back(isMainThread() ? "delayed on main" : "delayed elsewhere"); });
        scheduledTimer(0.02, [&] { fired.push_back(isMainThread() ? "timer on main" : "timer elsewhere"); });
    });
    worker.join();
    EXPECT_TRUE(runMainUntil([&] { return fired.size() == 2; }));
    EXPECT_EQ(fired, (std::vector<std::string>{"delayed on main", "timer on main"}));
}

TEST(Timer, ChainOfOneShotTimersKeepsItsSpacing)
{
    // The frame chain: each tick re-arms a 20 ms one-shot timer from its own hook.
    RunLoop& loop = RunLoop::current();
    std::vector<double> ticks;
    std::function<void()> tick = [&] {
        ticks.push_back(monotonicSeconds());
        if (ticks.size() < 5)
            scheduledTimer(0.02, tick);
    };
    scheduledTimer(0.02, tick);
    EXPECT_TRUE(runUntil(loop, kDefaultRunLoopMode, [&] { return ticks.size() == 5; }));
    for (std::size_t i = 1; i < ticks.size(); ++i)
        EXPECT_GE(ticks[i] - ticks[i - 1], 0.02);
}

} // namespace
