#include "RunLoopTestSupport.h"

#include <waterline/foundation/MainThread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace waterline;
using namespace waterline::test;
using namespace std::chrono_literals;

namespace {

TEST(MainThread, OnTheMainThreadTheCallIsDirect)
{
    ASSERT_TRUE(isMainThread());
    for (bool wait : {false, true}) {
        bool ran = false;
        performOnMainThread([&] { ran = true; }, wait);
        EXPECT_TRUE(ran) << "wait = " << wait; // no loop ran in between
    }
}

TEST(MainThread, WorkerThatDoesNotWaitReturnsBeforeTheTaskRuns)
{
    std::atomic<bool> ran{false};
    // The main loop does not run until the worker has returned and been joined, so a
    // blocking hand-off would hang here (and the ctest time-out would catch it).
    std::thread worker([&] { performOnMainThread([&] { ran = isMainThread(); }, false); });
    worker.join();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(runMainUntil([&] { return ran.load(); }));
}

TEST(MainThread, WorkerThatWaitsReturnsAfterTheTaskRan)
{
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> sawItRun{false};
    std::thread worker([&] {
        performOnMainThread([&] { ranOnMain = isMainThread(); }, true);
        sawItRun = ranOnMain.load();
    });
    EXPECT_TRUE(runMainUntil([&] { return ranOnMain.load(); }));
    worker.join();
    EXPECT_TRUE(sawItRun);
}

TEST(MainThread, ExceptionOfAWaitedTaskReachesTheWorker)
{
    std::atomic<bool> caught{false};
    std::atomic<bool> taskRan{false};
    std::thread worker([&] {
        try {
            performOnMainThread(
                [&] {
                    taskRan = true;
                    throw std::runtime_error("refused");
                },
                true);
        } catch (const std::runtime_error&) {
            caught = true;
        }
    });
    EXPECT_TRUE(runMainUntil([&] { return taskRan.load(); }));
    worker.join();
    EXPECT_TRUE(caught);
}

TEST(MainThread, TasksDoNotRunInsideAPrivateMode)
{
    constexpr RunLoopMode kPrivate{"HTTPRequest"};
    std::atomic<bool> ran{false};
    std::thread worker([&] { performOnMainThread([&] { ran = true; }, false); });
    worker.join();

    // A private-mode slice, kept busy by a timer of its own, must not run the task.
    bool sliceTimer = false;
    Timer::singleShot(30ms, [&] { sliceTimer = true; }, RunLoop::main(), {kPrivate});
    EXPECT_TRUE(runUntil(RunLoop::main(), kPrivate, [&] { return sliceTimer; }));
    EXPECT_FALSE(ran);

    EXPECT_TRUE(runMainUntil([&] { return ran.load(); }));
}

TEST(MainThread, TasksFromOneWorkerRunInTheOrderPosted)
{
    std::vector<int> order;
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i)
            performOnMainThread([&order, i] { order.push_back(i); }, false);
    });
    worker.join();
    EXPECT_TRUE(runMainUntil([&] { return order.size() == 50; }));
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
}

} // namespace
