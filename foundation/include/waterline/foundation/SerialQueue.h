// A named queue of tasks run one at a time, in the order given, on a thread of its
// own (the camera's "cameraQueue" delivers its frames this way). The thread also has
// a run loop (RunLoop::current() inside a task), which is not run between tasks.
//
//     SerialQueue cameraQueue("cameraQueue");
//     cameraQueue.async([frame] { deliver(frame); });
//     cameraQueue.sync([&] { stopped = true; });   // waits until it ran
//
// The destructor drains: it runs every task queued before it, then ends the thread.
// While it waits on the main thread it keeps running the main run loop's default
// mode, so a queued task that waits for the main thread (performOnMainThread with
// wait) still completes instead of deadlocking. Tasks queued once destruction has
// begun are dropped (sync() then throws std::future_error). A task may destroy its
// own queue: the thread then finishes the tasks already queued and ends by itself.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace waterline {

class SerialQueue {
public:
    explicit SerialQueue(std::string name);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& name() const { return m_name; }

    // Queues `task` and returns at once. Thread-safe.
    void async(std::function<void()> task);

    // Queues `task` and returns once it ran; an exception it throws is rethrown here.
    // Called from a task of this same queue, it runs `task` at once instead of
    // waiting for itself.
    void sync(std::function<void()> task);

    // True inside a task of this queue.
    bool isCurrent() const;

private:
    // Shared with the worker thread, which may outlive the queue object when a task
    // destroys its own queue.
    struct State;

    void waitForWorkerWhileServingMainLoop();

    const std::string m_name;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

} // namespace waterline
