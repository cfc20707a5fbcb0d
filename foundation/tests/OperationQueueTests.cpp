#include "RunLoopTestSupport.h"

#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/OperationQueue.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

using namespace waterline;
using namespace waterline::test;
using namespace std::chrono_literals;

namespace {

// Records the order in which operations ran.
struct Log {
    std::mutex lock;
    std::vector<std::string> entries;
    void add(std::string entry)
    {
        std::lock_guard guard(lock);
        entries.push_back(std::move(entry));
    }
    std::vector<std::string> get()
    {
        std::lock_guard guard(lock);
        return entries;
    }
};

std::shared_ptr<Operation> logging(Log& log, std::string name, int priority = Operation::kQueuePriorityNormal)
{
    auto operation = std::make_shared<BlockOperation>([&log, name] { log.add(name); });
    operation->setQueuePriority(priority);
    return operation;
}

TEST(OperationQueue, NeverRunsMoreThanTheLimitAtOnce)
{
    for (int limit : {1, 2, 4}) {
        OperationQueue queue;
        queue.setMaxConcurrentOperationCount(limit);
        std::atomic<int> running{0};
        std::atomic<int> mostAtOnce{0};
        std::atomic<int> done{0};
        for (int i = 0; i < 12; ++i) {
            queue.addOperationWithBlock([&] {
                int now = ++running;
                int seen = mostAtOnce.load();
                while (now > seen && !mostAtOnce.compare_exchange_weak(seen, now)) {}
                std::this_thread::sleep_for(5ms); // let the others pile up
                --running;
                ++done;
            });
        }
        queue.waitUntilAllOperationsAreFinished();
        EXPECT_EQ(done, 12);
        EXPECT_LE(mostAtOnce, limit) << "limit " << limit;
        EXPECT_GE(mostAtOnce, 1);
        EXPECT_EQ(queue.operationCount(), 0u);
    }
}

TEST(OperationQueue, DependenciesRunFirstEvenWhenAddedLast)
{
    OperationQueue queue;
    Log log;
    auto a = logging(log, "a");
    auto b = logging(log, "b");
    auto c = logging(log, "c");
    c->addDependency(b);
    b->addDependency(a);
    EXPECT_FALSE(c->isReady());
    queue.addOperation(c);
    queue.addOperation(b);
    queue.addOperation(a);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(log.get(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(c->isFinished());
}

TEST(OperationQueue, DependencyInAnotherQueueOrRunByHand)
{
    OperationQueue first, second;
    Log log;
    auto probe = logging(log, "probe");
    auto main = logging(log, "main");
    main->addDependency(probe);
    first.addOperation(main);
    second.addOperation(probe);
    first.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(log.get(), (std::vector<std::string>{"probe", "main"}));

    auto manual = logging(log, "manual");
    auto after = logging(log, "after");
    after->addDependency(manual);
    first.addOperation(after);
    manual->start(); // on this thread; tells the queue of its dependent
    first.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(log.get().back(), "after");
}

TEST(OperationQueue, HigherPriorityReadyOperationStartsFirst)
{
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    queue.setSuspended(true);
    Log log;
    queue.addOperation(logging(log, "low", Operation::kQueuePriorityLow));
    queue.addOperation(logging(log, "normal 1"));
    queue.addOperation(logging(log, "very high", Operation::kQueuePriorityVeryHigh));
    queue.addOperation(logging(log, "probe", 10));
    queue.addOperation(logging(log, "normal 2"));
    queue.addOperation(logging(log, "very low", Operation::kQueuePriorityVeryLow));
    // A high priority does not jump a dependency.
    auto blocked = logging(log, "high but waits", Operation::kQueuePriorityHigh);
    auto blocker = logging(log, "blocker", Operation::kQueuePriorityVeryLow);
    blocked->addDependency(blocker);
    queue.addOperation(blocked);
    queue.addOperation(blocker);
    queue.setSuspended(false);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(log.get(),
              (std::vector<std::string>{"probe", "very high", "normal 1", "normal 2", "low", "very low", "blocker",
                                        "high but waits"}));
}

TEST(OperationQueue, SuspendedQueueStartsNothing)
{
    OperationQueue queue;
    queue.setSuspended(true);
    std::atomic<int> ran{0};
    for (int i = 0; i < 3; ++i)
        queue.addOperationWithBlock([&] { ++ran; });
    std::this_thread::sleep_for(50ms); // time in which a running queue would have started them
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(queue.operationCount(), 3u);
    EXPECT_TRUE(queue.isSuspended());
    queue.setSuspended(false);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, 3);
}

TEST(OperationQueue, CancelAllMarksEveryOperationAndSkipsTheirWork)
{
    OperationQueue queue;
    queue.setSuspended(true);
    std::atomic<int> ran{0};
    std::vector<std::shared_ptr<Operation>> operations;
    for (int i = 0; i < 5; ++i) {
        auto operation = std::make_shared<BlockOperation>([&] { ++ran; });
        operations.push_back(operation);
        queue.addOperation(operation);
    }
    // One also waits for an operation that is never added: cancelling frees it.
    operations[2]->addDependency(std::make_shared<Operation>());
    EXPECT_EQ(queue.operations(), operations);
    queue.cancelAllOperations();
    for (const auto& operation : operations)
        EXPECT_TRUE(operation->isCancelled());
    queue.setSuspended(false);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran, 0);
    for (const auto& operation : operations)
        EXPECT_TRUE(operation->isFinished());
}

// Finishes on its own schedule: main() only arms a timer on the worker's run loop, and
// the operation reports itself finished from the timer.
class AsynchronousOperation : public Operation {
public:
    explicit AsynchronousOperation(Log& log)
        : m_log(log)
    {
    }
    bool isFinished() const override { return m_complete.load(); }
    void main() override
    {
        m_log.add("async started");
        auto self = std::static_pointer_cast<AsynchronousOperation>(shared_from_this());
        Timer::singleShot(20ms, [self] {
            self->m_log.add("async finished");
            self->m_complete = true;
            self->didChangeFinished();
        });
    }

private:
    Log& m_log;
    std::atomic<bool> m_complete{false};
};

TEST(OperationQueue, OperationThatFinishesLaterHoldsItsSlotAndItsDependents)
{
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    Log log;
    auto async = std::make_shared<AsynchronousOperation>(log);
    auto dependent = logging(log, "dependent");
    dependent->addDependency(async);
    auto unrelated = logging(log, "unrelated", Operation::kQueuePriorityVeryLow);
    queue.addOperation(async);
    queue.addOperation(dependent);
    queue.addOperation(unrelated);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(log.get(), (std::vector<std::string>{"async started", "async finished", "dependent", "unrelated"}));
}

TEST(OperationQueue, WorkersHaveRunLoopsForPrivateModes)
{
    OperationQueue queue;
    std::atomic<bool> firedInPrivateMode{false};
    queue.addOperationWithBlock([&] {
        constexpr RunLoopMode kPrivate{"HTTPRequest"};
        RunLoop& loop = RunLoop::current();
        bool fired = false;
        Timer::singleShot(1ms, [&] { fired = true; }, loop, {kPrivate});
        while (!fired && loop.runMode(kPrivate, 0.25, true) != RunLoopResult::Finished) {}
        firedInPrivateMode = fired && !isMainThread();
    });
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(firedInPrivateMode);
}

TEST(OperationQueue, StartRunsMainOnTheCallerUnlessCancelled)
{
    std::thread::id ranOn;
    auto operation = std::make_shared<BlockOperation>([&] { ranOn = std::this_thread::get_id(); });
    operation->start();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(operation->isFinished());
    EXPECT_FALSE(operation->isExecuting());

    bool ran = false;
    auto cancelled = std::make_shared<BlockOperation>([&] { ran = true; });
    cancelled->cancel();
    cancelled->start();
    EXPECT_FALSE(ran);
    EXPECT_TRUE(cancelled->isFinished());
}

TEST(OperationQueue, RefusesOperationsItCannotRun)
{
    OperationQueue queue;
    queue.setSuspended(true);
    auto operation = std::make_shared<Operation>();
    queue.addOperation(operation);
    EXPECT_THROW(queue.addOperation(operation), std::logic_error);
    OperationQueue other;
    EXPECT_THROW(other.addOperation(operation), std::logic_error);
    EXPECT_THROW(queue.addOperation(nullptr), std::invalid_argument);
    auto finished = std::make_shared<Operation>();
    finished->start();
    EXPECT_THROW(queue.addOperation(finished), std::logic_error);
}

TEST(OperationQueue, DestroyingASuspendedQueueDropsWhatNeverStarted)
{
    std::atomic<int> ran{0};
    {
        OperationQueue queue;
        queue.addOperationWithBlock([&] { ++ran; });
        queue.waitUntilAllOperationsAreFinished();
        queue.setSuspended(true);
        queue.addOperationWithBlock([&] { ++ran; });
    }
    EXPECT_EQ(ran, 1);
}

TEST(OperationQueue, SharedQueueIsOneObject)
{
    EXPECT_EQ(&OperationQueue::shared(), &OperationQueue::shared());
    std::atomic<bool> ran{false};
    OperationQueue::shared().addOperationWithBlock([&] { ran = true; });
    OperationQueue::shared().waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(ran);
}

} // namespace
