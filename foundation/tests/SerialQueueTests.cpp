#include "RunLoopTestSupport.h"

#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/SerialQueue.h>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace waterline;
using namespace waterline::test;
using namespace std::chrono_literals;

namespace {

TEST(SerialQueue, RunsTasksOneAtATimeInOrderOnItsOwnThread)
{
    std::vector<int> order;
    std::set<std::thread::id> threads;
    std::atomic<int> running{0};
    bool overlapped = false;
    {
        SerialQueue queue("cameraQueue");
        EXPECT_EQ(queue.name(), "cameraQueue");
        EXPECT_FALSE(queue.isCurrent());
        for (int i = 0; i < 100; ++i) {
            queue.async([&, i] {
                overlapped |= ++running > 1;
                order.push_back(i);
                threads.insert(std::this_thread::get_id());
                --running;
            });
        }
        queue.sync([] {});
    }
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_FALSE(threads.contains(std::this_thread::get_id()));
}

TEST(SerialQueue, SyncWaitsRethrowsAndRunsInlineOnItsOwnQueue)
{
    SerialQueue queue("q");
    bool ran = false;
    queue.sync([&] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("no"); }), std::runtime_error);

    bool innerRan = false;
    bool wasCurrent = false;
    queue.sync([&] {
        wasCurrent = queue.isCurrent();
        queue.sync([&] { innerRan = true; }); // would deadlock if it queued
    });
    EXPECT_TRUE(wasCurrent);
    EXPECT_TRUE(innerRan);
}

TEST(SerialQueue, DestructorRunsEveryQueuedTask)
{
    std::atomic<int> ran{0};
    std::promise<void> release;
    auto released = release.get_future().share();
    {
        SerialQueue queue("q");
        queue.async([released] { released.wait(); }); // holds the queue while we add more
        for (int i = 0; i < 10; ++i)
            queue.async([&] { ++ran; });
        release.set_value();
    }
    EXPECT_EQ(ran, 10);
}

TEST(SerialQueue, DestroyedOnTheMainThreadWhileATaskWaitsForIt)
{
    // A frame callback hands its picture to the main thread and waits; meanwhile the
    // main thread tears the queue down. That must not deadlock.
    std::atomic<bool> handedOver{false};
    std::promise<void> started;
    {
        SerialQueue queue("cameraQueue");
        queue.async([&] {
            started.set_value();
            performOnMainThread([&] { handedOver = true; }, true);
        });
        started.get_future().wait();
    }
    EXPECT_TRUE(handedOver);
}

TEST(SerialQueue, TaskMayDestroyItsOwnQueue)
{
    std::promise<void> done;
    std::promise<void> go;
    auto gate = go.get_future().share();
    auto* queue = new SerialQueue("q");
    queue->async([queue, gate] {
        gate.wait();
        delete queue;
    });
    queue->async([&] { done.set_value(); }); // queued before the delete, still runs
    go.set_value();
    EXPECT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
}

} // namespace
