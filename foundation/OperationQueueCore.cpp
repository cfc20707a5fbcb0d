// Scheduling for OperationQueue. Workers are threads idling in their run loop's
// default mode; the queue hands an operation to a free worker by posting a task to
// that loop. A worker is busy while it has operations posted or running; a slot
// (counted against the concurrency limit) is taken from start until the operation
// reports finished.
#include "OperationQueueCore.h"

#include <waterline/foundation/RunLoop.h>

#include <pthread.h>

#include <algorithm>
#include <future>
#include <stdexcept>

namespace waterline::detail {

int OperationQueueCore::effectiveLimitLocked() const
{
    if (m_maxConcurrent > 0)
        return m_maxConcurrent;
    return static_cast<int>(std::max(2u, std::thread::hardware_concurrency()));
}

void OperationQueueCore::add(const std::shared_ptr<Operation>& operation)
{
    {
        std::lock_guard guard(m_lock);
        if (m_shutDown)
            return;
        {
            std::lock_guard operationGuard(operation->m_lock);
            if (!operation->m_queue.expired())
                throw std::logic_error("OperationQueue::addOperation: the operation is already in a queue");
            operation->m_queue = weak_from_this();
        }
        m_entries.push_back(Entry{operation});
    }
    reconsider();
}

std::vector<std::shared_ptr<Operation>> OperationQueueCore::operations() const
{
    std::lock_guard guard(m_lock);
    std::vector<std::shared_ptr<Operation>> list;
    for (const auto& entry : m_entries)
        list.push_back(entry.operation);
    return list;
}

std::size_t OperationQueueCore::count() const
{
    std::lock_guard guard(m_lock);
    return m_entries.size();
}

int OperationQueueCore::maxConcurrentOperationCount() const
{
    std::lock_guard guard(m_lock);
    return m_maxConcurrent;
}

void OperationQueueCore::setMaxConcurrentOperationCount(int count)
{
    {
        std::lock_guard guard(m_lock);
        m_maxConcurrent = count > 0 ? count : -1;
    }
    reconsider();
}

void OperationQueueCore::setSuspended(bool suspended)
{
    {
        std::lock_guard guard(m_lock);
        m_suspended = suspended;
    }
    reconsider();
}

bool OperationQueueCore::isSuspended() const
{
    std::lock_guard guard(m_lock);
    return m_suspended;
}

void OperationQueueCore::waitUntilEmpty()
{
    std::unique_lock guard(m_lock);
    m_emptied.wait(guard, [&] { return m_entries.empty(); });
}

void OperationQueueCore::reconsider()
{
    std::vector<std::shared_ptr<Operation>> finished;
    {
        std::lock_guard guard(m_lock);
        finished = removeFinishedLocked();
        if (!m_suspended && !m_shutDown)
            startReadyLocked();
        if (m_entries.empty())
            m_emptied.notify_all();
    }
    // Operations waiting on these in other queues may be ready now.
    for (const auto& operation : finished)
        operation->didChangeFinished();
}

void OperationQueueCore::operationReturned(const std::shared_ptr<Worker>& worker)
{
    {
        std::lock_guard guard(m_lock);
        --worker->assigned;
    }
    reconsider();
}

std::vector<std::shared_ptr<Operation>> OperationQueueCore::removeFinishedLocked()
{
    std::vector<std::shared_ptr<Operation>> finished;
    std::erase_if(m_entries, [&](const Entry& entry) {
        if (!entry.operation->isFinished())
            return false;
        if (entry.started)
            --m_executing;
        std::lock_guard operationGuard(entry.operation->m_lock);
        entry.operation->m_queue.reset();
        finished.push_back(entry.operation);
        return true;
    });
    return finished;
}

OperationQueueCore::Entry* OperationQueueCore::bestReadyLocked()
{
    Entry* best = nullptr;
    int bestPriority = 0;
    for (auto& entry : m_entries) {
        if (entry.started)
            continue;
        // Strictly higher wins, so the first added wins among equals. The priority is
        // read first: readiness takes a lock and copies the dependencies, and with a
        // long queue of equals most entries need not be asked.
        int priority = entry.operation->queuePriority();
        if (best && priority <= bestPriority)
            continue;
        if (!entry.operation->isReady())
            continue;
        best = &entry;
        bestPriority = priority;
    }
    return best;
}

void OperationQueueCore::startReadyLocked()
{
    while (m_executing < effectiveLimitLocked()) {
        Entry* entry = bestReadyLocked();
        if (!entry)
            return;
        entry->started = true;
        ++m_executing;
        auto worker = finishingWorkerOfThisThreadLocked();
        if (!worker)
            worker = idleWorkerLocked();
        ++worker->assigned;
        worker->lastAssigned = entry->operation;
        // An exception escaping start() ends the worker thread and so the process,
        // as for any thread: operations report failures, they do not throw them.
        worker->loop->post([self = shared_from_this(), operation = entry->operation, worker] {
            operation->start();
            self->operationReturned(worker);
        });
    }
}

// The worker of the calling thread when its one operation has finished and only has
// to return: the next operation then follows on the same thread, rather than waking
// another while this one goes idle.
std::shared_ptr<OperationQueueCore::Worker> OperationQueueCore::finishingWorkerOfThisThreadLocked() const
{
    for (const auto& worker : m_workers) {
        if (worker->loop->isCurrent()) {
            auto running = worker->lastAssigned.lock();
            return worker->assigned == 1 && running && running->isFinished() ? worker : nullptr;
        }
    }
    return nullptr;
}

std::shared_ptr<OperationQueueCore::Worker> OperationQueueCore::idleWorkerLocked()
{
    for (const auto& worker : m_workers) {
        if (worker->assigned == 0)
            return worker;
    }
    auto worker = std::make_shared<Worker>();
    std::promise<RunLoop*> loopMade;
    auto loop = loopMade.get_future();
    worker->thread = std::thread([&loopMade] {
        ::pthread_setname_np(::pthread_self(), "operation");
        RunLoop& own = RunLoop::current();
        loopMade.set_value(&own); // `loopMade` is not touched after this
        own.run();
    });
    worker->loop = loop.get();
    m_workers.push_back(worker);
    return worker;
}

void OperationQueueCore::shutdown()
{
    std::vector<std::shared_ptr<Worker>> workers;
    {
        std::lock_guard guard(m_lock);
        m_shutDown = true;
        std::erase_if(m_entries, [](const Entry& entry) {
            if (entry.started)
                return false;
            std::lock_guard operationGuard(entry.operation->m_lock);
            entry.operation->m_queue.reset();
            return true;
        });
        workers.swap(m_workers);
        m_emptied.notify_all();
    }
    for (const auto& worker : workers) {
        // Posted behind any operation already handed to the worker, so that one runs.
        // The loop dies with its thread, so it is not touched after the post.
        RunLoop* loop = worker->loop;
        bool destroyedByOwnOperation = loop->isCurrent();
        loop->post([loop] { loop->stop(); });
        if (destroyedByOwnOperation)
            worker->thread.detach();
        else
            worker->thread.join();
    }
}

} // namespace waterline::detail
