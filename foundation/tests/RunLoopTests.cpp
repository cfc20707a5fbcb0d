#include "RunLoopTestSupport.h"

#include <waterline/foundation/FdSource.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/Timer.h>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace waterline;
using namespace waterline::test;
using namespace std::chrono_literals;

namespace {

constexpr RunLoopMode kModeA{"A"};
constexpr RunLoopMode kModeB{"B"};
constexpr RunLoopMode kPrivate{"HTTPRequest"};

// Each kind of source, added in mode A only, must stay silent while the loop runs B.
TEST(RunLoop, SourcesOfOneModeNeverFireInAnother)
{
    RunLoop& loop = RunLoop::current();
    Pipe pipe;
    pipe.put();
    std::vector<std::string> fired;
    auto readable = FdSource::create(pipe.readEnd, FdSource::Read);
    readable->onReady = [&] {
        pipe.take();
        fired.push_back("fd");
    };
    loop.addSource(readable, kModeA);
    Timer::singleShot(0ns, [&] { fired.push_back("timer"); }, loop, {kModeA});
    loop.post([&] { fired.push_back("task"); }, {kModeA});

    // B holds only a timer of its own, due after everything of A is ready.
    bool bTimerFired = false;
    Timer::singleShot(30ms, [&] { bTimerFired = true; }, loop, {kModeB});
    EXPECT_EQ(loop.runMode(kModeB, 0.1, false), RunLoopResult::Finished); // B empties after its timer
    EXPECT_TRUE(bTimerFired);
    EXPECT_TRUE(fired.empty());
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 0, false), RunLoopResult::Finished);
    EXPECT_TRUE(fired.empty());

    EXPECT_TRUE(runUntil(loop, kModeA, [&] { return fired.size() == 3; }));
    EXPECT_EQ(fired, (std::vector<std::string>{"task", "timer", "fd"}));
    loop.removeSource(readable, kModeA);
}

TEST(RunLoop, SourceInSeveralModesFiresInEach)
{
    RunLoop& loop = RunLoop::current();
    Pipe pipe;
    int calls = 0;
    auto readable = FdSource::create(pipe.readEnd, FdSource::Read);
    readable->onReady = [&] {
        pipe.take();
        ++calls;
    };
    loop.addSource(readable, kModeA);
    loop.addSource(readable, kModeB);
    pipe.put();
    EXPECT_EQ(loop.runMode(kModeA, 1, true), RunLoopResult::HandledSource);
    pipe.put();
    EXPECT_EQ(loop.runMode(kModeB, 1, true), RunLoopResult::HandledSource);
    EXPECT_EQ(calls, 2);
    loop.removeSource(readable, kModeA);
    EXPECT_FALSE(loop.containsSource(readable, kModeA));
    EXPECT_TRUE(loop.containsSource(readable, kModeB));
    loop.removeSource(readable);
    EXPECT_FALSE(loop.containsSource(readable, kModeB));
}

TEST(RunLoop, SliceReturnsAfterOneHandledSourceWhenAsked)
{
    RunLoop& loop = RunLoop::current();
    Pipe first, second;
    first.put();
    second.put();
    int handled = 0;
    auto a = FdSource::create(first.readEnd, FdSource::Read);
    auto b = FdSource::create(second.readEnd, FdSource::Read);
    a->onReady = [&] {
        first.take();
        ++handled;
    };
    b->onReady = [&] {
        second.take();
        ++handled;
    };
    loop.addSource(a);
    loop.addSource(b);
    loop.post([&] { ++handled; });

    for (int expected = 1; expected <= 3; ++expected) {
        EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 5, true), RunLoopResult::HandledSource);
        EXPECT_EQ(handled, expected);
    }
    // Nothing ready any more: the slice runs out.
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 0.02, true), RunLoopResult::TimedOut);
    loop.removeSource(a);
    loop.removeSource(b);
}

TEST(RunLoop, SliceWithoutReturnAfterSourceHandlesEverythingUntilTimeOut)
{
    RunLoop& loop = RunLoop::current();
    Pipe pipe;
    pipe.put();
    int handled = 0;
    auto readable = FdSource::create(pipe.readEnd, FdSource::Read);
    readable->onReady = [&] {
        pipe.take();
        ++handled;
    };
    loop.addSource(readable);
    loop.post([&] { ++handled; });
    Timer::singleShot(
        0ns, [&] { ++handled; }, loop);
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 0.05, false), RunLoopResult::TimedOut);
    EXPECT_EQ(handled, 3);
    loop.removeSource(readable);
}

TEST(RunLoop, EmptyModeFinishesAtOnce)
{
    EXPECT_EQ(RunLoop::current().runMode(RunLoopMode{"nothing here"}, 1000, false), RunLoopResult::Finished);
}

TEST(RunLoop, StopEndsTheRunEvenWhenRequestedBeforeItBegan)
{
    RunLoop& loop = RunLoop::current();
    loop.stop();
    EXPECT_EQ(loop.runMode(kModeA, 1000, false), RunLoopResult::Stopped); // empty mode, but stopped first

    // run() waits even with nothing in the mode, until another thread stops it.
    std::atomic<bool> taskRan{false};
    std::thread other([&] {
        loop.post([&] { taskRan = true; });
        while (!taskRan) // the loop now idles in an empty mode until stopped
            std::this_thread::yield();
        loop.stop();
    });
    auto guard = Timer::singleShot(
        10s, [&] { loop.stop(); }, loop);
    loop.run();
    guard->invalidate();
    other.join();
    EXPECT_TRUE(taskRan);
}

TEST(RunLoop, StopFromAHookEndsTheInnermostRunOnly)
{
    RunLoop& loop = RunLoop::current();
    RunLoopResult inner = RunLoopResult::Finished;
    bool outerGoesOn = false;
    loop.post([&] {
        Timer::singleShot(0ns, [&] { loop.stop(); }, loop, {kModeA});
        inner = loop.runMode(kModeA, 10, false);
    });
    loop.post([&] { outerGoesOn = true; });
    EXPECT_TRUE(runUntil(loop, kDefaultRunLoopMode, [&] { return outerGoesOn; }));
    EXPECT_EQ(inner, RunLoopResult::Stopped);
}

TEST(RunLoop, NestedRunServesOnlyItsOwnMode)
{
    RunLoop& loop = RunLoop::current();
    Pipe pipe;
    std::vector<std::string> order;
    auto response = FdSource::create(pipe.readEnd, FdSource::Read);
    response->onReady = [&] {
        pipe.take();
        order.push_back("private fd");
    };
    loop.addSource(response, kPrivate);

    loop.post([&] {
        order.push_back("outer task");
        EXPECT_EQ(loop.currentMode(), std::string("default"));
        loop.post([&] { order.push_back("default task"); }); // must wait for the outer run
        pipe.put();
        EXPECT_EQ(loop.runMode(kPrivate, 5, true), RunLoopResult::HandledSource);
        EXPECT_EQ(loop.currentMode(), std::string("default"));
        order.push_back("nested run returned");
    });
    EXPECT_TRUE(runUntil(loop, kDefaultRunLoopMode, [&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<std::string>{"outer task", "private fd", "nested run returned", "default task"}));
    EXPECT_EQ(loop.currentMode(), std::nullopt);
    loop.removeSource(response);
}

TEST(RunLoop, TaskPostedFromAnotherThreadWakesAWaitingLoop)
{
    RunLoop& loop = RunLoop::current();
    std::atomic<bool> ran{false};
    std::thread poster([&] { loop.post([&] { ran = true; }); });
    EXPECT_TRUE(runUntil(loop, kDefaultRunLoopMode, [&] { return ran.load(); }));
    poster.join();
}

TEST(RunLoop, EachThreadHasItsOwnLoopAndMainIsShared)
{
    RunLoop* workerLoop = nullptr;
    RunLoop* mainSeenByWorker = nullptr;
    bool workerIsCurrent = false;
    std::thread worker([&] {
        workerLoop = &RunLoop::current();
        mainSeenByWorker = &RunLoop::main();
        workerIsCurrent = workerLoop->isCurrent();
    });
    worker.join();
    EXPECT_NE(workerLoop, &RunLoop::current());
    EXPECT_EQ(mainSeenByWorker, &RunLoop::main());
    EXPECT_TRUE(workerIsCurrent);
    bool refused = false;
    std::thread intruder([&] {
        try {
            RunLoop::main().runMode(kDefaultRunLoopMode, 0, false);
        } catch (const std::logic_error&) {
            refused = true;
        }
    });
    intruder.join();
    EXPECT_TRUE(refused);                             // another thread may not run the main loop
    EXPECT_EQ(&RunLoop::current(), &RunLoop::main()); // gtest runs on the process's main thread
}

TEST(RunLoop, WorkerLoopServesSourcesAddedFromElsewhere)
{
    Pipe pipe;
    std::atomic<bool> readOnWorker{false};
    WorkerRunLoop worker;
    auto readable = FdSource::create(pipe.readEnd, FdSource::Read);
    readable->onReady = [&, loop = &worker.loop()] {
        pipe.take();
        readOnWorker = loop->isCurrent();
        loop->stop();
    };
    worker.loop().addSource(readable);
    pipe.put();
    worker.join();
    EXPECT_TRUE(readOnWorker);
}

TEST(RunLoop, InterestCanChangeWhileScheduled)
{
    RunLoop& loop = RunLoop::current();
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sockets), 0);
    auto source = FdSource::create(sockets[0], FdSource::Write);
    std::vector<FdSource::Interest> seen;
    source->onReady = [&] {
        seen.push_back(source->readiness());
        source->setInterest(FdSource::Read); // stop waiting for writability
    };
    loop.addSource(source);
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 5, true), RunLoopResult::HandledSource);
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 0.02, true), RunLoopResult::TimedOut);
    char c = 'x';
    ASSERT_EQ(::write(sockets[1], &c, 1), 1);
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 5, true), RunLoopResult::HandledSource);
    EXPECT_EQ(seen, (std::vector<FdSource::Interest>{FdSource::Write, FdSource::Read}));
    loop.removeSource(source);
    ::close(sockets[0]);
    ::close(sockets[1]);
}

TEST(RunLoop, SourceRemovedByAnEarlierHookOfTheSameBatchIsNotCalled)
{
    RunLoop& loop = RunLoop::current();
    Pipe first, second;
    int calls = 0;
    std::shared_ptr<FdSource> a = FdSource::create(first.readEnd, FdSource::Read);
    std::shared_ptr<FdSource> b = FdSource::create(second.readEnd, FdSource::Read);
    // Whichever runs first removes the other.
    a->onReady = [&] {
        ++calls;
        loop.removeSource(b);
        first.take();
    };
    b->onReady = [&] {
        ++calls;
        loop.removeSource(a);
        second.take();
    };
    loop.addSource(a);
    loop.addSource(b);
    first.put();
    second.put();
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 0.05, false), RunLoopResult::TimedOut);
    EXPECT_EQ(calls, 1);
    loop.removeSource(a);
    loop.removeSource(b);
}

TEST(RunLoop, OneFdHasOneSourcePerMode)
{
    RunLoop& loop = RunLoop::current();
    Pipe pipe;
    auto first = FdSource::create(pipe.readEnd, FdSource::Read);
    auto second = FdSource::create(pipe.readEnd, FdSource::Read);
    loop.addSource(first, kModeA);
    EXPECT_THROW(loop.addSource(second, kModeA), std::invalid_argument);
    EXPECT_NO_THROW(loop.addSource(second, kModeB));
    loop.removeSource(first);
    loop.removeSource(second);
}

// A source whose fd was closed and whose number now belongs to a new socket must not
// reach the new socket's registration: neither removing nor re-aiming the stale
// source may silence the new one.
TEST(RunLoop, StaleSourceDoesNotTouchTheSourceOfAReusedFdNumber)
{
    RunLoop& loop = RunLoop::current();
    int sockets[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, sockets), 0);
    const int reusedNumber = sockets[0];
    auto stale = FdSource::create(reusedNumber, FdSource::Read);
    bool staleFired = false;
    stale->onReady = [&] { staleFired = true; };
    loop.addSource(stale, kPrivate);
    ::close(sockets[0]);
    ::close(sockets[1]);

    Pipe pipe;
    ASSERT_EQ(::dup2(pipe.readEnd, reusedNumber), reusedNumber);
    auto fresh = FdSource::create(reusedNumber, FdSource::Read);
    int freshFired = 0;
    fresh->onReady = [&] {
        char c;
        [[maybe_unused]] auto n = ::read(reusedNumber, &c, 1);
        ++freshFired;
    };
    loop.addSource(fresh, kPrivate);

    stale->setInterest(FdSource::Write);
    loop.removeSource(stale, kPrivate);
    pipe.put();
    EXPECT_TRUE(runUntil(
        loop, kPrivate, [&] { return freshFired == 1; }, 2));
    EXPECT_FALSE(staleFired);

    loop.removeSource(fresh, kPrivate);
    ::close(reusedNumber);
}

TEST(RunLoop, ThrowingTaskLeavesTheLoopUsable)
{
    RunLoop& loop = RunLoop::current();
    loop.post([] { throw std::runtime_error("task failed"); });
    EXPECT_THROW(loop.runMode(kDefaultRunLoopMode, 1, false), std::runtime_error);
    EXPECT_EQ(loop.currentMode(), std::nullopt);
    bool ran = false;
    loop.post([&] { ran = true; });
    EXPECT_EQ(loop.runMode(kDefaultRunLoopMode, 1, true), RunLoopResult::HandledSource);
    EXPECT_TRUE(ran);
}

} // namespace
