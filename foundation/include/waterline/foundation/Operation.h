// A unit of work that can run on the caller's thread (start()) or on a worker of an
// OperationQueue. Subclasses put the work in main(). An operation can be cancelled
// from any thread: cancel() only raises a flag that main() is expected to look at.
// It may depend on other operations; a queue starts it only once every dependency
// has finished (or once it is cancelled: a cancelled operation is started at once so
// that it can end).
//
//     class Resize : public Operation {
//         void main() override { if (!isCancelled()) resizeAll(); }
//     };
//     auto probe = std::make_shared<Resize>();
//     auto job = std::make_shared<Resize>();
//     job->addDependency(probe);
//     probe->setQueuePriority(10);
//     queue.addOperation(probe);
//     queue.addOperation(job);
//
// Finishing. By default an operation is finished when start() returns. A subclass
// that decides for itself when it is finished (for example a request whose isFinished
// is "its exchange is complete") overrides isFinished() and calls didChangeFinished()
// whenever that answer may have become true; the queue then re-reads isFinished(),
// frees the operation's slot and starts the operations that waited for it. A queue
// also re-reads isFinished() each time start() returns, so an operation that is
// finished by then needs no call.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace waterline {

namespace detail {
class OperationQueueCore;
}

class Operation : public std::enable_shared_from_this<Operation> {
public:
    // Named queue priorities; any int is allowed (the request queue uses 10 for its
    // size probes, above VeryHigh).
    static constexpr int kQueuePriorityVeryLow = -8;
    static constexpr int kQueuePriorityLow = -4;
    static constexpr int kQueuePriorityNormal = 0;
    static constexpr int kQueuePriorityHigh = 4;
    static constexpr int kQueuePriorityVeryHigh = 8;

    Operation() = default;
    virtual ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Runs main() on the calling thread unless the operation is already cancelled,
    // executing or finished; then marks it finished (also when main() throws).
    virtual void start();

    // The work. The default does nothing.
    virtual void main() {}

    // Raises the cancelled flag and tells the queue, which then starts the operation
    // without waiting for its dependencies. Thread-safe; overriders call it too.
    virtual void cancel();
    bool isCancelled() const { return m_cancelled.load(); }

    bool isExecuting() const { return m_executing.load(); }
    virtual bool isFinished() const { return m_finished.load(); }

    // True when every dependency has finished, or the operation is cancelled.
    bool isReady() const;

    // Dependencies are held (strongly) until removed; do not build cycles.
    void addDependency(const std::shared_ptr<Operation>&);
    void removeDependency(const std::shared_ptr<Operation>&);
    std::vector<std::shared_ptr<Operation>> dependencies() const;

    int queuePriority() const { return m_queuePriority.load(); }
    void setQueuePriority(int priority) { m_queuePriority.store(priority); }

protected:
    // Tells the queue (and the queues of operations depending on this one) that
    // isFinished() may have changed. Thread-safe; a spurious call is harmless.
    void didChangeFinished();

private:
    friend class detail::OperationQueueCore;

    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_executing{false};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_queuePriority{kQueuePriorityNormal};

    // Guards the dependency lists and the queue link.
    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<Operation>> m_dependencies;
    std::vector<std::weak_ptr<Operation>> m_dependents;
    std::weak_ptr<detail::OperationQueueCore> m_queue;
};

// An operation that runs a function.
class BlockOperation : public Operation {
public:
    explicit BlockOperation(std::function<void()> block)
        : m_block(std::move(block))
    {
    }
    void main() override
    {
        if (m_block)
            m_block();
    }

private:
    std::function<void()> m_block;
};

} // namespace waterline
