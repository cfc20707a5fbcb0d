// The request object against real servers: bodies in memory and read sizes, the
// delegate's notifications, request bodies and methods, caller headers, cookies.
#include "RequestTestSupport.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/testing/NginxServer.h>
#include <waterline/testing/ScriptedServer.h>

#include <gmock/gmock.h>

#include <thread>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using ::testing::HasSubstr;

namespace {

TEST(HTTPRequest, DownloadsIntoMemoryWithReadSizesByAnnouncedLength)
{
    START_OR_FAIL(nginx, NginxServer::start());
    struct Case {
        std::size_t length;
        std::size_t readSize;
    };
    for (Case c : {Case{100, 2048}, Case{70000, 16384}, Case{300000, 65536}}) {
        std::string content(c.length, 'w');
        content[c.length / 2] = 'x';
        ASSERT_FALSE(nginx->writeFile("f.txt", content).isError());
        auto request = requestFor(nginx->url("/f.txt"));
        request->setAllowCompressedResponse(false);
        request->startSynchronous();
        ASSERT_EQ(request->error(), nullptr) << errorText(*request);
        EXPECT_EQ(request->responseStatusCode(), 200);
        EXPECT_EQ(request->responseStatusMessage(), "HTTP/1.1 200 OK");
        EXPECT_EQ(request->contentLength(), c.length);
        EXPECT_EQ(request->readBufferSize(), c.readSize);
        EXPECT_TRUE(bodyText(*request) == content) << bodyText(*request).size() << " bytes";
        EXPECT_TRUE(request->isFinished());
    }
}

TEST(HTTPRequest, ReportsToTheDelegateOnlyWhatItImplements)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("a.txt", "hello").isError());
    auto delegate = std::make_shared<RecordingDelegate>();

    auto good = requestFor(nginx->url("/a.txt"));
    good->setDelegate(delegate);
    good->startSynchronous();
    EXPECT_EQ(delegate->finished, 1);

    auto noURL = HTTPRequest::requestWithURL(std::nullopt);
    noURL->setDelegate(delegate);
    noURL->startSynchronous();
    EXPECT_EQ(delegate->failed, 1);
    EXPECT_EQ(delegate->lastError, HTTPRequestErrors::unableToCreateRequest());
    EXPECT_EQ(errorText(*noURL), "Unable to create request (bad url?)");

    // A selector the delegate does not implement is not called.
    auto unheard = requestFor(nginx->url("/a.txt"));
    unheard->setDelegate(delegate);
    unheard->setDidFinishSelector("downloadDone:");
    unheard->startSynchronous();
    EXPECT_EQ(delegate->finished, 1);
}

TEST(HTTPRequest, BodyChangesGETToPOSTButKeepsOtherMethods)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "ok"); });
    auto post = requestFor(server->url("/p"));
    post->appendPostData("a=1&b=2");
    post->startSynchronous();
    auto put = requestFor(server->url("/p"));
    put->setRequestMethod("PUT");
    put->appendPostData("data");
    put->startSynchronous();
    auto empty = requestFor(server->url("/p"));
    empty->appendPostData("");
    empty->startSynchronous();
    ASSERT_TRUE(server->waitForRequests(3, std::chrono::seconds(5)));
    auto seen = server->requests();
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, "a=1&b=2");
    EXPECT_EQ(seen[0].header("Content-Length"), "7");
    EXPECT_EQ(seen[0].header("Content-Type"), std::nullopt);
    EXPECT_EQ(seen[1].method, "PUT");
    EXPECT_EQ(seen[1].body, "data");
    EXPECT_EQ(seen[2].method, "GET");
    EXPECT_EQ(seen[2].header("Content-Length"), std::nullopt);
}

TEST(HTTPRequest, StreamsABodyFileFromDiskAndDeletesItsOwnTemporaryFile)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "ok"); });
    ScratchPath source;
    std::string content(300000, 'b');
    ASSERT_FALSE(writeFileAtomically(source.path, content).isError());
    auto request = requestFor(server->url("/upload"));
    request->setShouldStreamPostDataFromDisk(true);
    request->appendPostData("head:");
    request->appendPostDataFromFile(source.path);
    auto bodyFile = request->postBodyFilePath();
    ASSERT_TRUE(bodyFile);
    request->startSynchronous();
    ASSERT_EQ(request->error(), nullptr) << errorText(*request);
    ASSERT_TRUE(server->waitForRequests(1, std::chrono::seconds(5)));
    EXPECT_TRUE(server->requests()[0].body == "head:" + content);
    EXPECT_FALSE(std::filesystem::exists(*bodyFile));
}

TEST(HTTPRequest, SendsGzipBodiesAndHeadersOfItsOwnAfterTheCallers)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "ok"); });
    auto request = requestFor(server->url("/z"));
    request->setShouldCompressRequestBody(true);
    request->appendPostData(std::string(5000, 'q'));
    ASSERT_FALSE(request->addRequestHeader("X-Test", "1").isError());
    ASSERT_FALSE(request->addRequestHeader("User-Agent", "mine/1").isError());
    request->buildPostBody(); // as a queue does; main must not build it twice
    request->startSynchronous();
    ASSERT_TRUE(server->waitForRequests(1, std::chrono::seconds(5)));
    auto seen = server->requests()[0];
    EXPECT_EQ(seen.header("Content-Encoding"), "gzip");
    EXPECT_EQ(seen.header("Accept-Encoding"), "gzip");
    EXPECT_EQ(seen.header("X-Test"), "1");
    EXPECT_EQ(seen.header("User-Agent"), "mine/1");
    EXPECT_EQ(seen.headerValues("Content-Length").size(), 1u);
    EXPECT_EQ(std::to_string(seen.body.size()), seen.header("Content-Length"));
    EXPECT_LT(seen.body.size(), 5000u);
}

TEST(HTTPRequest, DefaultUserAgentNamesApplicationSystemAndLocale)
{
    auto agent = HTTPRequest::defaultUserAgentString();
    ASSERT_TRUE(agent);
    EXPECT_THAT(*agent, HasSubstr("Waterline "));
    EXPECT_THAT(*agent, HasSubstr("Linux"));
}

// Caller text with line breaks never reaches the wire: refused when added, and a
// request whose headers or method were set around that check fails unsent.
TEST(HTTPRequest, RefusesLineBreaksInHeadersAndMethods)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "ok"); });
    auto request = requestFor(server->url("/"));
    for (auto [name, value] : {std::pair{"X-A", "one\r\nInjected: yes"}, {"X-B\n", "v"}, {"", "v"}, {"A:B", "v"}}) {
        auto added = request->addRequestHeader(name, value);
        ASSERT_TRUE(added.isError()) << name;
    }
    EXPECT_FALSE(request->requestHeaders());

    HTTPHeaderFields smuggled;
    smuggled.set("X-A", "one\r\nInjected: yes");
    request->setRequestHeaders(smuggled);
    request->startSynchronous();
    ASSERT_NE(request->error(), nullptr);
    EXPECT_EQ(request->error()->code(), 6);

    auto method = requestFor(server->url("/"));
    method->setRequestMethod("GET / HTTP/1.1\r\nInjected: yes\r\n\r\nGET");
    method->startSynchronous();
    ASSERT_NE(method->error(), nullptr);
    EXPECT_EQ(server->requests().size(), 0u);
}

TEST(HTTPRequest, KeepsCookiesAcrossRequests)
{
    START_OR_FAIL(nginx, NginxServer::start());
    auto set = requestFor(nginx->url("/cookies/set?flavour=oat;%20Path=/"));
    set->startSynchronous();
    ASSERT_EQ(set->error(), nullptr) << errorText(*set);
    ASSERT_EQ(set->responseCookies().size(), 1u);
    EXPECT_EQ(set->responseCookies()[0].name, "flavour");

    auto echo = requestFor(nginx->url("/cookies/echo"));
    echo->startSynchronous();
    EXPECT_THAT(bodyText(*echo), HasSubstr("flavour=oat"));

    auto without = requestFor(nginx->url("/cookies/echo"));
    without->setUseCookiePersistance(false);
    without->startSynchronous();
    EXPECT_THAT(bodyText(*without), ::testing::Not(HasSubstr("flavour")));
}

} // namespace

namespace {

// Requests made one after another on one thread share a connection; requests on
// another thread do not use it.
TEST(HTTPRequest, ReusesConnectionsOfItsOwnThread)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "again"); });
    for (int i = 0; i < 3; ++i) {
        auto request = requestFor(server->url("/r"));
        request->startSynchronous();
        EXPECT_EQ(bodyText(*request), "again") << errorText(*request);
    }
    EXPECT_EQ(server->connectionCount(), 1);
    std::thread other([&] {
        auto request = requestFor(server->url("/r"));
        request->startSynchronous();
    });
    other.join();
    EXPECT_EQ(server->connectionCount(), 2);
}

} // namespace
