// The public face of the operation queue; the scheduling is OperationQueueCore's.
#include <waterline/foundation/OperationQueue.h>

#include "OperationQueueCore.h"

#include <stdexcept>

namespace waterline {

OperationQueue::OperationQueue()
    : OperationQueue(std::string())
{
}

OperationQueue::OperationQueue(std::string name)
    : m_name(std::move(name))
    , m_core(std::make_shared<detail::OperationQueueCore>())
{
}

OperationQueue::~OperationQueue()
{
    m_core->shutdown();
}

OperationQueue& OperationQueue::shared()
{
    static OperationQueue* queue = new OperationQueue("shared"); // lives until exit
    return *queue;
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation)
{
    if (!operation)
        throw std::invalid_argument("OperationQueue::addOperation: no operation");
    if (operation->isExecuting() || operation->isFinished())
        throw std::logic_error("OperationQueue::addOperation: the operation is executing or finished");
    m_core->add(operation);
}

void OperationQueue::addOperationWithBlock(std::function<void()> block)
{
    addOperation(std::make_shared<BlockOperation>(std::move(block)));
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const
{
    return m_core->operations();
}

std::size_t OperationQueue::operationCount() const
{
    return m_core->count();
}

int OperationQueue::maxConcurrentOperationCount() const
{
    return m_core->maxConcurrentOperationCount();
}

void OperationQueue::setMaxConcurrentOperationCount(int count)
{
    m_core->setMaxConcurrentOperationCount(count);
}

void OperationQueue::setSuspended(bool suspended)
{
    m_core->setSuspended(suspended);
}

bool OperationQueue::isSuspended() const
{
    return m_core->isSuspended();
}

void OperationQueue::cancelAllOperations()
{
    // Outside any queue lock: cancel() is virtual and may do a lot.
    for (const auto& operation : m_core->operations())
        operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished()
{
    m_core->waitUntilEmpty();
}

} // namespace waterline
