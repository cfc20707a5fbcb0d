// A serial queue is one thread draining a FIFO of tasks.
#include <waterline/foundation/SerialQueue.h>

#include <waterline/foundation/FdSource.h>
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
    int exitSignalFd = -1; // written by the worker as it ends, when someone listens

    void drain();
    void beginStopping(int signalFd = -1)
    {
        {
            std::lock_guard guard(lock);
            stopping = true;
            exitSignalFd = signalFd;
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
                if (exitSignalFd >= 0) {
                    std::uint64_t one = 1;
                    [[maybe_unused]] auto written = ::write(exitSignalFd, &one, sizeof one);
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
    int exitSignalFd = -1;
    if (isMainThread())
        exitSignalFd = waitForWorkerWhileServingMainLoop();
    else
        m_state->beginStopping();
    m_thread.join();
    if (exitSignalFd >= 0)
        ::close(exitSignalFd); // only now: the worker's last act was writing to it
}

int SerialQueue::waitForWorkerWhileServingMainLoop()
{
    int signalFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_state->beginStopping(signalFd);
    if (signalFd < 0)
        return -1; // no eventfd to wait on: plain join

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
    return signalFd;
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
