// Operation state and dependencies. Scheduling is the queue's (OperationQueueCore);
// an operation only tells its queue, and the queues of its dependents, when
// something that affects scheduling changed.
#include <waterline/foundation/Operation.h>

#include "OperationQueueCore.h"

#include <algorithm>

namespace waterline {

Operation::~Operation() = default;

void Operation::start()
{
    if (isFinished() || m_executing.exchange(true))
        return;
    auto finish = [this] {
        m_executing.store(false);
        m_finished.store(true);
        didChangeFinished();
    };
    if (isCancelled()) {
        finish();
        return;
    }
    try {
        main();
    } catch (...) {
        finish();
        throw;
    }
    finish();
}

void Operation::cancel()
{
    if (m_cancelled.exchange(true))
        return;
    std::shared_ptr<detail::OperationQueueCore> queue;
    {
        std::lock_guard guard(m_lock);
        queue = m_queue.lock();
    }
    if (queue)
        queue->reconsider(); // a cancelled operation no longer waits for its dependencies
}

bool Operation::isReady() const
{
    if (isCancelled())
        return true;
    std::vector<std::shared_ptr<Operation>> dependencies;
    {
        std::lock_guard guard(m_lock);
        dependencies = m_dependencies;
    }
    return std::all_of(dependencies.begin(), dependencies.end(),
                       [](const auto& dependency) { return dependency->isFinished(); });
}

void Operation::addDependency(const std::shared_ptr<Operation>& dependency)
{
    if (!dependency || dependency.get() == this)
        return;
    {
        std::lock_guard guard(m_lock);
        if (std::find(m_dependencies.begin(), m_dependencies.end(), dependency) != m_dependencies.end())
            return;
        m_dependencies.push_back(dependency);
    }
    std::lock_guard guard(dependency->m_lock);
    dependency->m_dependents.push_back(weak_from_this());
}

void Operation::removeDependency(const std::shared_ptr<Operation>& dependency)
{
    if (!dependency)
        return;
    std::shared_ptr<detail::OperationQueueCore> queue;
    {
        std::lock_guard guard(m_lock);
        std::erase(m_dependencies, dependency);
        queue = m_queue.lock();
    }
    {
        std::lock_guard guard(dependency->m_lock);
        std::erase_if(dependency->m_dependents, [this](const std::weak_ptr<Operation>& dependent) {
            auto locked = dependent.lock();
            return !locked || locked.get() == this;
        });
    }
    if (queue)
        queue->reconsider(); // may have become ready
}

std::vector<std::shared_ptr<Operation>> Operation::dependencies() const
{
    std::lock_guard guard(m_lock);
    return m_dependencies;
}

void Operation::didChangeFinished()
{
    std::vector<std::shared_ptr<detail::OperationQueueCore>> queues;
    std::vector<std::weak_ptr<Operation>> dependents;
    {
        std::lock_guard guard(m_lock);
        if (auto queue = m_queue.lock())
            queues.push_back(queue);
        dependents = m_dependents;
    }
    for (const auto& weak : dependents) {
        auto dependent = weak.lock();
        if (!dependent)
            continue;
        std::lock_guard guard(dependent->m_lock);
        if (auto queue = dependent->m_queue.lock();
            queue && std::find(queues.begin(), queues.end(), queue) == queues.end())
            queues.push_back(queue);
    }
    for (const auto& queue : queues)
        queue->reconsider();
}

} // namespace waterline
