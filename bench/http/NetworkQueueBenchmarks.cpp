// The request queue's overhead: the same 2000 small GETs started one by one on the
// shared request queue, each reporting its end to a delegate on the main thread, and
// as one NetworkQueue batch whose end the main thread waits for. Both halves run in
// every iteration, one after the other and taking turns at going first, so that a
// change in the machine's load hits both; the row reports the ratio of their times
// (1.00 = no overhead).
#include "HttpBenchServer.h"

#include <waterline/foundation/RunLoop.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/NetworkQueue.h>

#include <chrono>
#include <functional>

namespace waterline::bench {

namespace {

using Clock = std::chrono::steady_clock;

std::shared_ptr<HTTPRequest> smallRequest(const std::string& url)
{
    auto request = HTTPRequest::requestWithURL(URL::parse(url));
    request->setAllowCompressedResponse(false);
    request->setUseCookiePersistance(false);
    return request;
}

// Counts the ends it hears of; notes whether every request succeeded.
class EndCounter : public NetworkQueueDelegate {
public:
    bool implements(std::string_view name) const override
    {
        return name == kRequestFinished || name == kRequestFailed || name == kQueueFinished;
    }
    void requestFinished(HTTPRequest& request) override
    {
        ++ended;
        allSucceeded = allSucceeded && request.responseStatusCode() == 200;
    }
    void requestFailed(HTTPRequest&) override
    {
        ++ended;
        allSucceeded = false;
    }
    void queueFinished(NetworkQueue&) override { batchEnded = true; }

    int ended = 0;
    bool batchEnded = false;
    bool allSucceeded = true;
};

void runMainLoopUntil(const std::function<bool()>& done)
{
    while (!done())
        RunLoop::main().runMode(kDefaultRunLoopMode, 1.0, true);
}

double plainLoopSeconds(const std::string& url, bool& succeeded)
{
    auto counter = std::make_shared<EndCounter>();
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    requests.reserve(kSmallRequestsPerIteration);
    auto start = Clock::now();
    for (int i = 0; i < kSmallRequestsPerIteration; ++i) {
        requests.push_back(smallRequest(url));
        requests.back()->setDelegate(counter);
        requests.back()->startAsynchronous();
    }
    runMainLoopUntil([&] { return counter->ended == kSmallRequestsPerIteration; });
    succeeded = counter->allSucceeded;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A queue made for the batch pays for its own four workers (threads, run loops,
// transfer handles, connections); a kept queue has them from its earlier batches.
enum class QueueLife { MadeForTheBatch, Kept };

double networkQueueSeconds(const std::string& url, QueueLife life, bool& succeeded)
{
    static std::shared_ptr<NetworkQueue> kept;
    auto counter = std::make_shared<EndCounter>();
    auto start = Clock::now();
    auto queue = life == QueueLife::Kept && kept ? kept : NetworkQueue::queue();
    if (life == QueueLife::Kept)
        kept = queue;
    queue->setDelegate(counter);
    queue->setRequestDidFinishSelector(std::string(HTTPRequestDelegate::kRequestFinished));
    queue->setRequestDidFailSelector(std::string(HTTPRequestDelegate::kRequestFailed));
    queue->setQueueDidFinishSelector(std::string(NetworkQueueDelegate::kQueueFinished));
    for (int i = 0; i < kSmallRequestsPerIteration; ++i)
        queue->addOperation(smallRequest(url));
    queue->go();
    runMainLoopUntil([&] { return counter->batchEnded; });
    succeeded = counter->allSucceeded && counter->ended == kSmallRequestsPerIteration;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void BM_SmallRequests_NetworkQueueOverPlainLoop(benchmark::State& state)
{
    const auto* server = httpBenchServer(state);
    if (!server)
        return;
    auto life = static_cast<QueueLife>(state.range(0));
    double plainTotal = 0;
    double queueTotal = 0;
    for (auto _ : state) {
        bool plainSucceeded = false;
        bool queueSucceeded = false;
        // Taking turns at going first, so that neither always meets a warmer server.
        if (state.iterations() % 2 == 0) {
            plainTotal += plainLoopSeconds(server->smallURL, plainSucceeded);
            queueTotal += networkQueueSeconds(server->smallURL, life, queueSucceeded);
        } else {
            queueTotal += networkQueueSeconds(server->smallURL, life, queueSucceeded);
            plainTotal += plainLoopSeconds(server->smallURL, plainSucceeded);
        }
        if (!plainSucceeded || !queueSucceeded) {
            state.SkipWithError("a request failed");
            return;
        }
    }
    auto iterations = static_cast<double>(state.iterations());
    state.counters["plain_ms"] = plainTotal / iterations * 1000;
    state.counters["queue_ms"] = queueTotal / iterations * 1000;
    state.counters["queue_over_plain"] = queueTotal / plainTotal;
}

} // namespace

// Argument 0: a new queue for every batch; 1: one queue kept for every batch.
BENCHMARK(BM_SmallRequests_NetworkQueueOverPlainLoop)
    ->Arg(static_cast<int>(QueueLife::MadeForTheBatch))
    ->Arg(static_cast<int>(QueueLife::Kept))
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3);

} // namespace waterline::bench
