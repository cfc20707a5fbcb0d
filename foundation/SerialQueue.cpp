// A serial queue is one thread draining a FIFO of tasks.
#include <waterline/foundation/SerialQueue.h>

#include <waterline/foundation/FdSource.h>
#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/RunLoop.h>

#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <future>
#include <mutex>

namespace waterline {

struct SerialQueue::State {
    std::mutex lock; // guards everything below
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    // An eventfd written by the worker as it ends, when someone listens. The state
    // owns it, so it is closed only once the worker, too, has let go of the state.
    FileDescriptor exitSignal;

    void drain();
    void beginStopping(FileDescriptor signal = {})
    {
        {
            std::lock_guard guard(lock);
            stopping = true;
            exitSignal = std::move(signal);
        }
        changed.notify_all();
    }
};

namespace {
thread_local const void* currentQueueState = nullptr;
}

void SerialQueue::State::drain()
{
    while (true) {
        std::function<void()> task;
        {
            std::unique_lock guard(lock);
            changed.wait(guard, [&] { return stopping || !tasks.empty(); });
            if (tasks.empty()) {
                if (exitSignal) {
                    std::uint64_t one = 1;
                    [[maybe_unused]] auto written = ::write(exitSignal.get(), &one, sizeof one);
                }
                return;
            }
            task = std::move(tasks.front());
            tasks.pop_front();
        }
        task();
    }
}

SerialQueue::SerialQueue(std::string name)
    : m_name(std::move(name))
    , m_state(std::make_shared<State>())
{
    m_thread = std::thread([state = m_state, threadName = m_name.substr(0, 15)] {
        currentQueueState = state.get();
        ::pthread_setname_np(::pthread_self(), threadName.c_str()); // names are cut to 15 bytes
        state->drain();
    });
}

SerialQueue::~SerialQueue()
{
    if (isCurrent()) {
        // Destroyed by its own task: a thread cannot join itself, so it ends on its own.
        m_state->beginStopping();
        m_thread.detach();
        return;
    }
    if (isMainThread())
        waitForWorkerWhileServingMainLoop();
    else
        m_state->beginStopping();
    m_thread.join();
}

void SerialQueue::waitForWorkerWhileServingMainLoop()
{
    FileDescriptor signal(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    int signalFd = signal.get();
    m_state->beginStopping(std::move(signal));
    if (signalFd < 0)
        return; // no eventfd to wait on: plain join

    bool workerEnded = false;
    auto ended = FdSource::create(signalFd, FdSource::Read);
    ended->onReady = [&] { workerEnded = true; };
    RunLoop& mainLoop = RunLoop::main();
    mainLoop.addSource(ended);
    bool stopWasRequested = false;
    while (!workerEnded) {
        if (mainLoop.runMode(kDefaultRunLoopMode, 3600, true) == RunLoopResult::Stopped)
            stopWasRequested = true;
    }
    mainLoop.removeSource(ended);
    if (stopWasRequested)
        mainLoop.stop(); // it was meant for the run this destructor is nested in
}

void SerialQueue::async(std::function<void()> task)
{
    {
        std::lock_guard guard(m_state->lock);
        if (m_state->stopping)
            return;
        m_state->tasks.push_back(std::move(task));
    }
    m_state->changed.notify_one();
}

void SerialQueue::sync(std::function<void()> task)
{
    if (isCurrent()) {
        task();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    async([task = std::move(task), done] {
        try {
            task();
            done->set_value();
        } catch (...) {
            done->set_exception(std::current_exception());
        }
    });
    finished.get();
}

bool SerialQueue::isCurrent() const
{
    return currentQueueState == m_state.get();
}

} // namespace waterline
