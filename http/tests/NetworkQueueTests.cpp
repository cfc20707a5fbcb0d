// The request queue against real servers on loopback: suspension and the limit of
// four, size probes, cancel-all and the one end-of-batch call, refusing foreign
// operations, destruction with requests in flight, and the aggregated counters.
#include "RequestTestSupport.h"

#include <waterline/foundation/MainThread.h>
#include <waterline/http/NetworkQueue.h>
#include <waterline/testing/NginxServer.h>
#include <waterline/testing/ScriptedServer.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using namespace std::chrono_literals;

namespace {

// Hears everything a queue tells its delegate, in order, on the main thread.
class BatchRecorder : public NetworkQueueDelegate {
public:
    bool implements(std::string_view name) const override
    {
        return name == kRequestFinished || name == kRequestFailed || name == kQueueFinished
            || (hasCredentialCall && name == kAuthenticationNeeded);
    }
    void requestFinished(HTTPRequest& request) override { events.push_back("finished " + pathOf(request)); }
    void requestFailed(HTTPRequest& request) override
    {
        auto error = request.error();
        events.push_back("failed " + pathOf(request) + " " + std::to_string(error ? error->code() : 0));
    }
    void queueFinished(NetworkQueue&) override
    {
        events.push_back("queue finished");
        ++batchesFinished;
    }
    void authenticationNeededForRequest(HTTPRequest&) override { events.push_back("credentials"); }

    int count(std::string_view prefix) const
    {
        return static_cast<int>(std::count_if(events.begin(), events.end(),
                                              [&](const std::string& event) { return event.starts_with(prefix); }));
    }

    bool hasCredentialCall = false;
    std::vector<std::string> events;
    int batchesFinished = 0;

private:
    static std::string pathOf(HTTPRequest& request) { return request.url() ? request.url()->path() : "?"; }
};

// Notes every fraction it is shown.
class RecordingReceiver : public ProgressReceiver {
public:
    bool implements(Method method) const override { return method == Method::SetProgress; }
    void setProgress(float value) override { values.push_back(value); }
    std::vector<float> values;
};

// Implements neither operation: counts are kept, nothing is delivered.
class SilentReceiver : public ProgressReceiver {
public:
    bool implements(Method) const override { return false; }
};

std::shared_ptr<NetworkQueue> recordedQueue(const std::shared_ptr<BatchRecorder>& recorder)
{
    auto queue = NetworkQueue::queue();
    queue->setDelegate(recorder);
    queue->setRequestDidFinishSelector(std::string(HTTPRequestDelegate::kRequestFinished));
    queue->setRequestDidFailSelector(std::string(HTTPRequestDelegate::kRequestFailed));
    queue->setQueueDidFinishSelector(std::string(NetworkQueueDelegate::kQueueFinished));
    return queue;
}

// Holds each request on the server until five are in at once or a second passes, and
// notes the most seen at once: a queue that ran a fifth request would be caught.
struct ConcurrencyGauge {
    std::mutex lock;
    std::condition_variable changed;
    int active = 0;
    int most = 0;

    ScriptedReply hold()
    {
        std::unique_lock guard(lock);
        most = std::max(most, ++active);
        changed.notify_all();
        changed.wait_for(guard, 1s, [&] { return active >= 5; });
        --active;
        return ScriptedReply::response(200, {}, "held");
    }
};

TEST(NetworkQueue, RunsNothingUntilGoThenAtMostFourAtOnce)
{
    START_OR_FAIL(server, ScriptedServer::start());
    ConcurrencyGauge gauge;
    server->setResponder([&](const RecordedRequest&) { return gauge.hold(); });
    std::vector<bool> indicator;
    NetworkQueue::setNetworkActivityIndicator([&](bool visible) { indicator.push_back(visible); });
    auto recorder = std::make_shared<BatchRecorder>();
    auto queue = recordedQueue(recorder);
    for (int i = 0; i < 8; ++i)
        queue->addOperation(requestFor(server->url("/held/" + std::to_string(i))));

    EXPECT_EQ(queue->requestsCount(), 8);
    EXPECT_TRUE(queue->isSuspended());
    EXPECT_FALSE(queue->isNetworkActive());
    runMainUntil([] { return false; }, 0.3);
    EXPECT_EQ(server->connectionCount(), 0);
    EXPECT_TRUE(indicator.empty());

    queue->go();
    EXPECT_TRUE(queue->isNetworkActive());
    ASSERT_TRUE(runMainUntil([&] { return recorder->batchesFinished > 0; }, 20));
    EXPECT_EQ(recorder->count("finished"), 8);
    EXPECT_EQ(recorder->events.back(), "queue finished");
    EXPECT_EQ(gauge.most, 4);
    EXPECT_EQ(queue->requestsCount(), 0);
    EXPECT_FALSE(queue->isNetworkActive());
    EXPECT_EQ(indicator, (std::vector<bool>{true, false}));
    NetworkQueue::setNetworkActivityIndicator({});
}

TEST(NetworkQueue, RefusesOperationsThatAreNotRequests)
{
    auto queue = NetworkQueue::queue();
    try {
        queue->addOperation(std::make_shared<BlockOperation>([] {}));
        ADD_FAILURE() << "a plain operation was accepted";
    } catch (const AttemptToAddInvalidRequest& refusal) {
        EXPECT_STREQ(refusal.name(), "AttemptToAddInvalidRequest");
        EXPECT_STREQ(refusal.what(), "Attempted to add an object that was not an HTTPRequest to a NetworkQueue");
    }
    EXPECT_THROW(queue->addOperationWithBlock([] {}), AttemptToAddInvalidRequest);
    EXPECT_EQ(queue->operationCount(), 0u);
    EXPECT_EQ(queue->requestsCount(), 0);

    // A request already in another queue is refused by the base class, not counted,
    // and left as it was: still the other queue's, without a probe.
    auto request = requestFor("http://127.0.0.1:9/");
    auto other = NetworkQueue::queue();
    other->addOperation(request);
    queue->setShowAccurateProgress(true);
    EXPECT_THROW(queue->addOperation(request), std::logic_error);
    EXPECT_EQ(queue->requestsCount(), 0);
    EXPECT_EQ(queue->operationCount(), 0u);
    EXPECT_EQ(request->queue().get(), static_cast<HTTPRequestQueue*>(other.get()));
    EXPECT_TRUE(request->dependencies().empty());
    EXPECT_FALSE(request->showAccurateProgress());
}

TEST(NetworkQueue, AFailureCancelsTheRestAndTheBatchEndsOnce)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest& request) {
        if (request.target == "/broken")
            return ScriptedReply::raw("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
        return ScriptedReply::hang();
    });
    auto recorder = std::make_shared<BatchRecorder>();
    auto queue = recordedQueue(recorder);
    queue->addOperation(requestFor(server->url("/slow-a")));
    queue->addOperation(requestFor(server->url("/slow-b")));
    queue->go();
    ASSERT_TRUE(server->waitForRequests(2, 5s));
    queue->addOperation(requestFor(server->url("/broken")));

    ASSERT_TRUE(runMainUntil([&] { return recorder->batchesFinished > 0; }));
    ASSERT_EQ(recorder->events.size(), 4u) << ::testing::PrintToString(recorder->events);
    EXPECT_EQ(recorder->events[0], "failed /broken 1");
    EXPECT_THAT(std::vector(recorder->events.begin() + 1, recorder->events.begin() + 3),
                ::testing::UnorderedElementsAre("failed /slow-a 4", "failed /slow-b 4"));
    EXPECT_EQ(recorder->events[3], "queue finished");
    EXPECT_EQ(queue->requestsCount(), 0);

    // The next batch on the same queue ends with its own single call.
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "ok"); });
    queue->addOperation(requestFor(server->url("/again")));
    ASSERT_TRUE(runMainUntil([&] { return recorder->batchesFinished > 1; }));
    runMainUntil([&] { return queue->operationCount() == 0; }, 2);
    EXPECT_EQ(recorder->batchesFinished, 2);
    EXPECT_EQ(recorder->events.back(), "queue finished");
}

TEST(NetworkQueue, WithoutCancelAllAFailureLeavesTheOthersRunning)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest& request) {
        if (request.target == "/broken")
            return ScriptedReply::raw("garbage\r\n\r\n");
        return ScriptedReply::response(200, {}, "fine");
    });
    auto recorder = std::make_shared<BatchRecorder>();
    auto queue = recordedQueue(recorder);
    queue->setShouldCancelAllRequestsOnFailure(false);
    for (auto path : {"/broken", "/a", "/b"})
        queue->addOperation(requestFor(server->url(path)));
    queue->go();
    ASSERT_TRUE(runMainUntil([&] { return recorder->batchesFinished > 0; }));
    EXPECT_EQ(recorder->count("failed /broken"), 1);
    EXPECT_EQ(recorder->count("finished"), 2);
    EXPECT_EQ(recorder->events.back(), "queue finished");
    EXPECT_EQ(recorder->events.size(), 4u);
}

TEST(NetworkQueue, SizeProbesRunFirstAndAreNotCounted)
{
    START_OR_FAIL(nginx, NginxServer::start());
    for (auto [name, size] : {std::pair{"a.bin", 1000}, {"b.bin", 2000}, {"c.bin", 3000}})
        ASSERT_FALSE(nginx->writeFile(name, std::string(size, 'p')).isError());
    auto recorder = std::make_shared<BatchRecorder>();
    auto queue = recordedQueue(recorder);
    auto downloads = std::make_shared<RecordingReceiver>();
    auto uploads = std::make_shared<RecordingReceiver>();
    queue->setShowAccurateProgress(true);
    queue->setDownloadProgressDelegate(downloads);
    queue->setUploadProgressDelegate(uploads);
    std::vector<std::shared_ptr<HTTPRequest>> gets;
    for (auto name : {"/a.bin", "/b.bin", "/c.bin"}) {
        gets.push_back(requestFor(nginx->url(name)));
        gets.back()->setAllowCompressedResponse(false);
        queue->addOperation(gets.back());
    }
    auto post = requestFor(nginx->url("/echo"));
    post->appendPostData(std::string(700, 'u'));
    queue->addOperation(post);

    EXPECT_EQ(queue->requestsCount(), 4);
    EXPECT_EQ(queue->operationCount(), 7u);
    EXPECT_EQ(queue->uploadProgressTotalBytes(), 700u);
    for (const auto& get : gets) {
        ASSERT_EQ(get->dependencies().size(), 1u);
        auto probe = std::dynamic_pointer_cast<HTTPRequest>(get->dependencies()[0]);
        ASSERT_TRUE(probe);
        EXPECT_EQ(probe->requestMethod(), "HEAD");
        EXPECT_EQ(probe->queuePriority(), NetworkQueue::kSizeProbePriority);
        EXPECT_EQ(probe->mainRequest(), get);
        EXPECT_FALSE(get->shouldResetProgressIndicators());
        EXPECT_TRUE(get->showAccurateProgress());
    }
    EXPECT_TRUE(post->dependencies().empty());

    queue->go();
    ASSERT_TRUE(runMainUntil([&] { return recorder->batchesFinished > 0; }));
    EXPECT_EQ(recorder->count("finished"), 4);
    ASSERT_TRUE(nginx->waitForAccessLog("GET /c.bin"));
    auto log = nginx->accessLog();
    for (auto name : {"/a.bin", "/b.bin", "/c.bin"}) {
        auto head = log.find(std::string("HEAD ") + name);
        ASSERT_NE(head, std::string::npos) << log;
        EXPECT_LT(head, log.find(std::string("GET ") + name)) << log;
    }
    for (const auto& get : gets)
        EXPECT_EQ(get->contentLength(), get->totalBytesRead());
    // The probes' sizes and the POST's answer make the total; the bytes fill it exactly.
    EXPECT_EQ(queue->downloadProgressTotalBytes(), 6000u + post->contentLength());
    EXPECT_EQ(queue->downloadProgressBytes(), 6000u + post->contentLength());
    EXPECT_EQ(queue->uploadProgressBytes(), 700u);
    // Totals still grow while the first GETs read, so only the end is certain.
    EXPECT_TRUE(runMainUntil([&] { return !downloads->values.empty() && downloads->values.back() == 1.0f; }, 2));
}

TEST(NetworkQueue, AFailedProbeFailsItsRequestWhichNeverRuns)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest& request) {
        if (request.method == "HEAD")
            return ScriptedReply::raw("not http at all\r\n\r\n");
        return ScriptedReply::response(200, {}, "body");
    });
    auto recorder = std::make_shared<BatchRecorder>();
    auto queue = recordedQueue(recorder);
    queue->setShowAccurateProgress(true);
    queue->setShouldCancelAllRequestsOnFailure(false);
    auto request = requestFor(server->url("/probed"));
    queue->addOperation(request);
    queue->go();
    ASSERT_TRUE(runMainUntil([&] { return recorder->batchesFinished > 0; }));
    runMainUntil([&] { return queue->operationCount() == 0; }, 2);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"failed /probed 1", "queue finished"}));
    for (const auto& seen : server->requests())
        EXPECT_EQ(seen.method, "HEAD");
}

TEST(NetworkQueue, DestroyedWithRequestsInFlightCancelsThemAndHearsNothingMore)
{
    START_OR_FAIL(server, ScriptedServer::start());
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("quick.txt", "quick").isError());
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::hang(); });
    auto recorder = std::make_shared<BatchRecorder>();
    auto queue = recordedQueue(recorder);
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    for (int i = 0; i < 3; ++i) {
        requests.push_back(requestFor(server->url("/hang/" + std::to_string(i))));
        queue->addOperation(requests.back());
    }
    // One request ends before the queue goes, its report still on the way.
    auto quick = requestFor(nginx->url("/quick.txt"));
    queue->addOperation(quick);
    queue->go();
    ASSERT_TRUE(server->waitForRequests(3, 5s));
    for (int i = 0; i < 500 && !quick->complete(); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(quick->complete());

    std::weak_ptr<NetworkQueue> gone = queue;
    queue.reset();
    EXPECT_TRUE(gone.expired());
    for (const auto& request : requests) {
        EXPECT_TRUE(request->complete());
        EXPECT_FALSE(request->isExecuting());
        ASSERT_TRUE(request->error());
        EXPECT_EQ(request->error()->code(), 4);
    }
    runMainUntil([] { return false; }, 0.2);
    EXPECT_TRUE(recorder->events.empty()) << ::testing::PrintToString(recorder->events);
}

TEST(NetworkQueue, ProgressCountsFollowTheirRules)
{
    auto queue = NetworkQueue::queue();
    // No receiver: nothing is counted.
    queue->incrementUploadSizeBy(100);
    queue->incrementUploadProgressBy(10);
    queue->incrementDownloadSizeBy(100);
    EXPECT_EQ(queue->uploadProgressTotalBytes(), 0u);
    EXPECT_EQ(queue->uploadProgressBytes(), 0u);
    EXPECT_EQ(queue->downloadProgressTotalBytes(), 0u);

    auto uploads = std::make_shared<RecordingReceiver>();
    auto downloads = std::make_shared<RecordingReceiver>();
    queue->setUploadProgressDelegate(uploads);
    queue->setDownloadProgressDelegate(downloads);
    // Progress before any total is dropped.
    queue->incrementDownloadProgressBy(50);
    EXPECT_EQ(queue->downloadProgressBytes(), 0u);

    queue->incrementUploadSizeBy(1000);
    queue->setUploadBufferSize(200); // swallowed at once by the send buffer: not expected
    queue->incrementUploadProgressBy(400);
    queue->decrementUploadProgressBy(100);
    queue->decrementUploadProgressBy(1000); // more than was counted: 0, not a wrapped count
    EXPECT_EQ(queue->uploadProgressTotalBytes(), 800u);
    EXPECT_EQ(queue->uploadProgressBytes(), 0u);
    EXPECT_EQ(uploads->values, (std::vector<float>{0.0f, 0.0f, 0.5f, 0.375f, 0.0f}));

    queue->incrementDownloadSizeBy(4);
    queue->incrementDownloadProgressBy(1);
    queue->incrementDownloadProgressBy(5); // not clamped
    EXPECT_EQ(downloads->values, (std::vector<float>{0.0f, 0.25f, 1.5f}));

    queue->cancelAllOperations();
    EXPECT_EQ(queue->uploadProgressTotalBytes(), 0u);
    EXPECT_EQ(queue->downloadProgressBytes(), 0u);
}

TEST(NetworkQueue, WholeRequestsAreTheUnitsWithoutAccurateProgress)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("u.txt", "unit").isError());
    auto recorder = std::make_shared<BatchRecorder>();
    auto queue = recordedQueue(recorder);
    auto downloads = std::make_shared<RecordingReceiver>();
    queue->setDownloadProgressDelegate(downloads);
    for (int i = 0; i < 3; ++i)
        queue->addOperation(requestFor(nginx->url("/u.txt")));
    EXPECT_EQ(queue->downloadProgressTotalBytes(), 0u);
    queue->go();
    EXPECT_EQ(queue->downloadProgressTotalBytes(), 3u);
    EXPECT_EQ(queue->uploadProgressTotalBytes(), 0u); // no upload receiver
    ASSERT_TRUE(runMainUntil([&] { return recorder->batchesFinished > 0; }));
    runMainUntil([&] { return queue->downloadProgressBytes() == 3; }, 2);
    EXPECT_EQ(queue->downloadProgressBytes(), 3u);
    // One more after go: one more unit expected, so the fraction still ends at 1.
    queue->addOperation(requestFor(nginx->url("/u.txt")));
    EXPECT_EQ(queue->downloadProgressTotalBytes(), 4u);
    queue->go(); // already going: counts nothing again
    EXPECT_EQ(queue->downloadProgressTotalBytes(), 4u);
    ASSERT_TRUE(runMainUntil([&] { return recorder->batchesFinished > 1; }));
    runMainUntil([&] { return downloads->values.back() == 1.0f; }, 2);
    EXPECT_EQ(downloads->values.back(), 1.0f);
    EXPECT_EQ(queue->downloadProgressBytes(), 4u);
}

TEST(NetworkQueue, ConcurrentReportsAreNeitherLostNorReordered)
{
    auto queue = NetworkQueue::queue();
    auto silent = std::make_shared<SilentReceiver>();
    queue->setUploadProgressDelegate(silent);
    queue->incrementUploadSizeBy(1);
    constexpr int kThreads = 4;
    constexpr int kReports = 50000;
    {
        std::vector<std::jthread> reporters;
        for (int t = 0; t < kThreads; ++t)
            reporters.emplace_back([&] {
                for (int i = 0; i < kReports; ++i) {
                    queue->incrementUploadProgressBy(3);
                    queue->decrementUploadProgressBy(1);
                }
            });
    }
    EXPECT_EQ(queue->uploadProgressBytes(), std::uint64_t{2} * kThreads * kReports);

    // Fractions delivered from four threads arrive in the order the count grew.
    auto downloads = std::make_shared<RecordingReceiver>();
    queue->setDownloadProgressDelegate(downloads);
    queue->incrementDownloadSizeBy(kThreads * 500);
    {
        std::vector<std::jthread> reporters;
        for (int t = 0; t < kThreads; ++t)
            reporters.emplace_back([&] {
                for (int i = 0; i < 500; ++i)
                    queue->incrementDownloadProgressBy(1);
            });
    }
    ASSERT_TRUE(runMainUntil([&] { return !downloads->values.empty() && downloads->values.back() == 1.0f; }));
    EXPECT_TRUE(std::is_sorted(downloads->values.begin(), downloads->values.end()));
    EXPECT_EQ(queue->downloadProgressBytes(), std::uint64_t{kThreads} * 500);
}

TEST(NetworkQueue, CredentialCallsReachOnlyADelegateThatHasThem)
{
    auto recorder = std::make_shared<BatchRecorder>();
    auto queue = recordedQueue(recorder);
    EXPECT_FALSE(queue->implements(HTTPRequestQueue::Callback::AuthenticationNeeded));
    EXPECT_FALSE(queue->implements(HTTPRequestQueue::Callback::ProxyAuthenticationNeeded));
    EXPECT_TRUE(queue->implements(HTTPRequestQueue::Callback::IncrementDownloadProgress));
    auto request = requestFor("http://127.0.0.1:9/");
    queue->authenticationNeededForRequest(*request);
    EXPECT_TRUE(recorder->events.empty());

    recorder->hasCredentialCall = true;
    EXPECT_TRUE(queue->implements(HTTPRequestQueue::Callback::AuthenticationNeeded));
    queue->authenticationNeededForRequest(*request);
    queue->proxyAuthenticationNeededForRequest(*request);
    EXPECT_EQ(recorder->events, std::vector<std::string>{"credentials"});

    queue->setDelegate({});
    EXPECT_FALSE(queue->implements(HTTPRequestQueue::Callback::AuthenticationNeeded));
}

} // namespace
