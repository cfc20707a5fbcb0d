// What a thread keeps between requests (its connections, its transfer handles, its
// wake-up) must carry nothing of one request into the next: not the method, headers
// or body, and not another request's response.
#include "RequestTestSupport.h"

#include <waterline/testing/ScriptedServer.h>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using namespace std::chrono_literals;

namespace {

TEST(HTTPRequestReuse, ConsecutiveRequestsOnOneThreadShareTheConnectionButNothingElse)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest& seen) { return ScriptedReply::response(200, {}, seen.target); });

    auto put = requestFor(server->url("/put"));
    put->setRequestMethod("PUT");
    put->appendPostData("abc");
    ASSERT_FALSE(put->addRequestHeader("X-Only-Once", "1").isError());
    put->startSynchronous();
    auto head = requestFor(server->url("/head"));
    head->setRequestMethod("HEAD");
    head->startSynchronous();
    auto get = requestFor(server->url("/get"));
    get->startSynchronous();

    EXPECT_EQ(errorText(*get), "(no error)");
    EXPECT_EQ(bodyText(*put), "/put");
    EXPECT_EQ(bodyText(*head), "");
    EXPECT_EQ(bodyText(*get), "/get");
    ASSERT_TRUE(server->waitForRequests(3, 5s));
    auto seen = server->requests();
    EXPECT_EQ(seen[0].method, "PUT");
    EXPECT_EQ(seen[0].body, "abc");
    EXPECT_EQ(seen[1].method, "HEAD");
    EXPECT_EQ(seen[2].method, "GET");
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(seen[i].body, "") << i;
        EXPECT_EQ(seen[i].header("X-Only-Once"), std::nullopt) << i;
        EXPECT_EQ(seen[i].header("Content-Length"), std::nullopt) << i;
    }
    EXPECT_EQ(seen[2].connection, seen[0].connection); // the kept connection, not a new one
}

// A delegate that throws unwinds through the thread's event delivery; what the
// thread keeps must come out of that whole for the next request.
TEST(HTTPRequestReuse, ARequestAfterAThrowingDelegateStillCompletes)
{
    class ThrowingDelegate : public HTTPRequestDelegate {
    public:
        bool implements(std::string_view callback) const override { return callback == kRequestFinished; }
        void requestFinished(HTTPRequest&) override { throw std::runtime_error("delegate broke"); }
    };
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest& seen) { return ScriptedReply::response(200, {}, seen.target); });
    auto delegate = std::make_shared<ThrowingDelegate>();
    for (int i = 0; i < 2; ++i) {
        auto throwing = requestFor(server->url("/throws"));
        throwing->setDelegate(delegate);
        throwing->startSynchronous();
        ASSERT_NE(throwing->error(), nullptr);
    }
    auto next = requestFor(server->url("/next"));
    next->setTimeOutSeconds(5);
    next->startSynchronous();
    EXPECT_EQ(errorText(*next), "(no error)");
    EXPECT_EQ(bodyText(*next), "/next");
}

TEST(HTTPRequestReuse, QueuedRequestsEachGetTheirOwnResponse)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest& seen) { return ScriptedReply::response(200, {}, seen.target); });
    constexpr int kRequests = 40;
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    for (int i = 0; i < kRequests; ++i) {
        requests.push_back(requestFor(server->url("/item/" + std::to_string(i))));
        requests.back()->startAsynchronous();
    }
    HTTPRequest::sharedRequestQueue().waitUntilAllOperationsAreFinished();
    for (int i = 0; i < kRequests; ++i) {
        EXPECT_EQ(errorText(*requests[i]), "(no error)") << i;
        EXPECT_EQ(bodyText(*requests[i]), "/item/" + std::to_string(i));
    }
}

} // namespace
