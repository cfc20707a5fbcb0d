// The request's life outside a single synchronous run: the shared queue with its
// main-thread notifications, size probes, exceptions, and texts in their charsets.
#include "RequestTestSupport.h"

#include <waterline/foundation/MainThread.h>
#include <waterline/testing/NginxServer.h>
#include <waterline/testing/ScriptedServer.h>

#include <gmock/gmock.h>

#include <atomic>
#include <thread>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using namespace std::chrono_literals;

namespace {

// A queue that hears of every end, and notes the thread it heard on.
class RecordingQueue : public HTTPRequestQueue {
public:
    bool implements(Callback callback) const override
    {
        return callback == Callback::RequestDidFinish || callback == Callback::RequestDidFail;
    }
    void requestDidFinish(HTTPRequest&) override { note(finished); }
    void requestDidFail(HTTPRequest& request) override
    {
        note(failed);
        failedRequests.push_back(&request);
    }
    int finished = 0;
    int failed = 0;
    bool allOnMainThread = true;
    std::vector<HTTPRequest*> failedRequests;

private:
    void note(int& counter)
    {
        ++counter;
        allOnMainThread = allOnMainThread && isMainThread();
    }
};

TEST(HTTPRequestLife, AsynchronousRequestsReportOnTheMainThread)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("a.txt", "async").isError());
    auto queue = std::make_shared<RecordingQueue>();
    auto delegate = std::make_shared<RecordingDelegate>();
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    for (int i = 0; i < 8; ++i) {
        auto request = requestFor(nginx->url(i == 7 ? "/missing-host-part" : "/a.txt"));
        if (i == 7)
            request = HTTPRequest::requestWithURL(std::nullopt);
        request->setQueue(queue);
        request->setDelegate(delegate);
        request->startAsynchronous();
        requests.push_back(request);
    }
    ASSERT_TRUE(runMainUntil([&] { return delegate->finished + delegate->failed == 8; }));
    EXPECT_EQ(queue->finished, 7);
    EXPECT_EQ(queue->failed, 1);
    EXPECT_EQ(delegate->finished, 7);
    EXPECT_TRUE(queue->allOnMainThread);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(bodyText(*requests[i]), "async");
}

// Cancelled on the main thread while a worker runs it: the failure arrives once, and
// the worker's thread serves the next request normally.
TEST(HTTPRequestLife, CancelFromTheMainThreadEndsAQueuedRequest)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->enqueue(ScriptedReply::headersThenHang(200, 1000));
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "next"); });
    auto delegate = std::make_shared<RecordingDelegate>();
    auto hanging = requestFor(server->url("/hang"));
    hanging->setDelegate(delegate);
    hanging->startAsynchronous();
    ASSERT_TRUE(runMainUntil([&] { return hanging->responseStatusCode() == 200; }));
    hanging->cancel();
    ASSERT_TRUE(runMainUntil([&] { return delegate->failed == 1; }));
    EXPECT_EQ(hanging->error(), HTTPRequestErrors::requestCancelled());

    auto next = requestFor(server->url("/next"));
    next->setDelegate(delegate);
    next->startAsynchronous();
    ASSERT_TRUE(runMainUntil([&] { return delegate->finished == 1; }));
    EXPECT_EQ(bodyText(*next), "next");
    EXPECT_EQ(delegate->failed, 1);
}

// A probe that fails gives its error to the request it probes for, and reports that
// request; a probe that succeeds reports nothing.
TEST(HTTPRequestLife, SizeProbeReportsForItsMainRequest)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("sized.bin", std::string(70000, 's')).isError());
    auto queue = std::make_shared<RecordingQueue>();
    auto main = requestFor(nginx->url("/sized.bin"));
    auto probe = main->HEADRequest();
    probe->setQueue(queue);
    probe->startSynchronous();
    EXPECT_EQ(probe->requestMethod(), "HEAD");
    EXPECT_EQ(main->contentLength(), 70000u);
    EXPECT_EQ(queue->finished, 0);

    auto unreachable = HTTPRequest::requestWithURL(urlFrom("http://127.0.0.1:1/"));
    auto failingProbe = unreachable->HEADRequest();
    failingProbe->setQueue(queue);
    failingProbe->startSynchronous();
    ASSERT_NE(unreachable->error(), nullptr);
    EXPECT_EQ(unreachable->error()->code(), 1);
    EXPECT_EQ(failingProbe->error(), nullptr);
    ASSERT_EQ(queue->failedRequests.size(), 1u);
    EXPECT_EQ(queue->failedRequests[0], unreachable.get());
}

// A delegate that throws on the main thread of a synchronous run: the request turns
// the escaped exception into code 10 with the exception's text as the reason.
TEST(HTTPRequestLife, ExceptionInsideTheRequestBecomesCode10)
{
    class ThrowingDelegate : public HTTPRequestDelegate {
    public:
        bool implements(std::string_view callback) const override { return callback == kRequestFinished; }
        void requestFinished(HTTPRequest&) override { throw std::runtime_error("delegate broke"); }
    };
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "x"); });
    auto delegate = std::make_shared<ThrowingDelegate>();
    auto request = requestFor(server->url("/"));
    request->setDelegate(delegate);
    request->startSynchronous();
    ASSERT_NE(request->error(), nullptr);
    EXPECT_EQ(request->error()->code(), 10);
    EXPECT_EQ(request->error()->failureReason(), "delegate broke");
    EXPECT_EQ(errorText(*request), "std::runtime_error");
    ASSERT_NE(request->error()->underlyingError(), nullptr);
    EXPECT_EQ(request->error()->underlyingError()->code(), 10);
    EXPECT_TRUE(request->isFinished());
}

TEST(HTTPRequestLife, ResponseStringUsesTheNamedCharsetOrTheDefault)
{
    START_OR_FAIL(server, ScriptedServer::start());
    struct Case {
        const char* contentType;
        std::string body;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"text/html; charset=utf-8", "caf\xc3\xa9", "caf\xc3\xa9"},
        {"text/html; charset=\"UTF-8\"", "caf\xc3\xa9", "caf\xc3\xa9"},
        {"text/html", "caf\xe9", "caf\xc3\xa9"},
        {"text/html; charset=x-unknown", "caf\xe9", "caf\xc3\xa9"},
        {"text/plain; charset=windows-1252", "\x80", "\xe2\x82\xac"},
        {"text/plain", "", ""},
    };
    for (const auto& c : cases) {
        server->enqueue(ScriptedReply::response(200, {{"Content-Type", c.contentType}}, c.body));
        auto request = requestFor(server->url("/t"));
        request->startSynchronous();
        EXPECT_EQ(request->responseString(), c.text) << c.contentType;
    }
}

} // namespace
