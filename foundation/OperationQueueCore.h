// The state behind an OperationQueue, shared with its worker tasks and (weakly) with
// its operations, which report through it when they finish or are cancelled. All
// scheduling decisions are made in reconsider(): drop finished operations, then
// start the best ready ones while there are free slots.
#pragma once

#include <waterline/foundation/Operation.h>

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace waterline {
class RunLoop;
}

namespace waterline::detail {

class OperationQueueCore : public std::enable_shared_from_this<OperationQueueCore> {
public:
    OperationQueueCore() = default;
    OperationQueueCore(const OperationQueueCore&) = delete;
    OperationQueueCore& operator=(const OperationQueueCore&) = delete;

    void add(const std::shared_ptr<Operation>&);
    std::vector<std::shared_ptr<Operation>> operations() const;
    std::size_t count() const;

    int maxConcurrentOperationCount() const;
    void setMaxConcurrentOperationCount(int);
    void setSuspended(bool);
    bool isSuspended() const;

    void waitUntilEmpty();
    void shutdown();

    // Something changed (an operation finished, was cancelled, a dependency ended,
    // a worker came free): look again. Thread-safe.
    void reconsider();

private:
    struct Entry {
        std::shared_ptr<Operation> operation;
        bool started = false;
    };
    struct Worker {
        std::thread thread;
        RunLoop* loop = nullptr;
        int assigned = 0;                      // operations posted to it and not yet returned
        std::weak_ptr<Operation> lastAssigned; // weak: a finished operation is not kept
    };

    std::vector<std::shared_ptr<Operation>> removeFinishedLocked();
    void startReadyLocked();
    Entry* bestReadyLocked();
    std::shared_ptr<Worker> idleWorkerLocked();
    std::shared_ptr<Worker> finishingWorkerOfThisThreadLocked() const;
    void operationReturned(const std::shared_ptr<Worker>&);
    int effectiveLimitLocked() const;

    mutable std::mutex m_lock; // guards everything below; taken before any Operation's lock
    std::condition_variable m_emptied;
    std::vector<Entry> m_entries; // in the order added
    std::vector<std::shared_ptr<Worker>> m_workers;
    int m_executing = 0;
    int m_maxConcurrent = -1;
    bool m_suspended = false;
    bool m_shutDown = false;
};

} // namespace waterline::detail
