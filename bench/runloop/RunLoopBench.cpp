// What a run loop costs beside the plainest alternative: a task queue made of a
// mutex, a condition variable and a deque. Measured: posting and running tasks on
// the same thread, a cross-thread round trip (post to another thread and wait for
// the answer), and arming plus firing a zero-delay timer.
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/Timer.h>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

using namespace waterline;

namespace {

// The peer: a bare FIFO of functions with blocking pop.
class PlainTaskQueue {
public:
    void post(std::function<void()> task)
    {
        {
            std::lock_guard guard(m_lock);
            m_tasks.push_back(std::move(task));
        }
        m_changed.notify_one();
    }
    // Runs one task, waiting for it; false once stopped.
    bool runOne()
    {
        std::function<void()> task;
        {
            std::unique_lock guard(m_lock);
            m_changed.wait(guard, [&] { return m_stopped || !m_tasks.empty(); });
            if (m_tasks.empty())
                return false;
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        task();
        return true;
    }
    void stop()
    {
        {
            std::lock_guard guard(m_lock);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopped = false;
};

constexpr int kBatch = 1000;

void BM_RunLoop_PostAndRunBatch(benchmark::State& state)
{
    RunLoop& loop = RunLoop::current();
    int ran = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            loop.post([&] { ++ran; });
        loop.runMode(kDefaultRunLoopMode, 0, false);
    }
    benchmark::DoNotOptimize(ran);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RunLoop_PostAndRunBatch);

void BM_PlainQueue_PostAndRunBatch(benchmark::State& state)
{
    PlainTaskQueue queue;
    int ran = 0;
    for (auto _ : state) {
        for (int i = 0; i < kBatch; ++i)
            queue.post([&] { ++ran; });
        for (int i = 0; i < kBatch; ++i)
            queue.runOne();
    }
    benchmark::DoNotOptimize(ran);
    state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_PlainQueue_PostAndRunBatch);

void BM_RunLoop_CrossThreadRoundTrip(benchmark::State& state)
{
    std::promise<RunLoop*> made;
    std::thread server([&] {
        RunLoop& own = RunLoop::current();
        made.set_value(&own);
        own.run();
    });
    RunLoop* serverLoop = made.get_future().get();
    RunLoop& client = RunLoop::current();
    for (auto _ : state) {
        bool answered = false;
        serverLoop->post([&] { client.post([&] { answered = true; }); });
        while (!answered)
            client.runMode(kDefaultRunLoopMode, 1, true);
    }
    serverLoop->stop();
    server.join();
}
BENCHMARK(BM_RunLoop_CrossThreadRoundTrip)->UseRealTime();

void BM_PlainQueue_CrossThreadRoundTrip(benchmark::State& state)
{
    PlainTaskQueue serverQueue, clientQueue;
    std::thread server([&] {
        while (serverQueue.runOne()) {}
    });
    for (auto _ : state) {
        serverQueue.post([&] { clientQueue.post([] {}); });
        clientQueue.runOne();
    }
    serverQueue.stop();
    server.join();
}
BENCHMARK(BM_PlainQueue_CrossThreadRoundTrip)->UseRealTime();

void BM_RunLoop_ZeroDelayTimer(benchmark::State& state)
{
    RunLoop& loop = RunLoop::current();
    int fired = 0;
    for (auto _ : state) {
        Timer::singleShot(
            std::chrono::nanoseconds(0), [&] { ++fired; }, loop);
        loop.runMode(kDefaultRunLoopMode, 1, true);
    }
    benchmark::DoNotOptimize(fired);
}
BENCHMARK(BM_RunLoop_ZeroDelayTimer);

} // namespace

BENCHMARK_MAIN();
