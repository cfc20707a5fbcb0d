// Runs operations on worker threads: at most maxConcurrentOperationCount at a time,
// each only once its dependencies have finished, the ready one with the highest queue
// priority first (in the order added among equals). A suspended queue accepts
// operations but starts none. Each worker is a thread with its own run loop, which
// runs its default mode between operations, so an operation may leave timers or fd
// sources on RunLoop::current() and finish later from them (see Operation for how the
// queue learns that).
//
//     OperationQueue queue;
//     queue.setMaxConcurrentOperationCount(4);
//     queue.addOperation(request);                  // std::shared_ptr<Operation>
//     queue.addOperationWithBlock([] { work(); });
//     queue.waitUntilAllOperationsAreFinished();
//
// Subclasses may override addOperation, setSuspended and cancelAllOperations and call
// the base versions. All members are thread-safe. The destructor stops starting
// operations, drops those not yet started, and waits for the running ones' start()
// to return.
#pragma once

#include <waterline/foundation/Operation.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace waterline {

namespace detail {
class OperationQueueCore;
}

class OperationQueue {
public:
    // The default limit: as many as the machine has cores, but at least 2.
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;

    OperationQueue();
    explicit OperationQueue(std::string name);
    virtual ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    // A process-wide queue with the default limit, made on first use, never destroyed.
    static OperationQueue& shared();

    // Queues an operation. Throws std::invalid_argument for an empty pointer, and
    // std::logic_error for an operation that is already in a queue, executing or
    // finished.
    virtual void addOperation(std::shared_ptr<Operation> operation);
    void addOperationWithBlock(std::function<void()> block);

    // The operations added and not yet finished (waiting or running), in the order added.
    std::vector<std::shared_ptr<Operation>> operations() const;
    std::size_t operationCount() const;

    int maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(int count); // kDefault... or at least 1

    virtual void setSuspended(bool suspended);
    bool isSuspended() const;

    // Calls cancel() on every operation in the queue.
    virtual void cancelAllOperations();

    // Blocks until the queue is empty. On a suspended queue holding operations that
    // never returns; nor does it when the operations wait for the calling thread.
    void waitUntilAllOperationsAreFinished();

    const std::string& name() const { return m_name; }

private:
    std::string m_name;
    std::shared_ptr<detail::OperationQueueCore> m_core;
};

} // namespace waterline
