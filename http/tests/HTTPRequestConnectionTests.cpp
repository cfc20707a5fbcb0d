// The connection against real servers: redirects, time-outs, downloads to files with
// gzip and resume, cancelling, connection and TLS failures, and the rules that keep
// a redirect from carrying the caller's secrets elsewhere.
#include "RequestTestSupport.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/http/GzipCodec.h>
#include <waterline/testing/LoopbackPort.h>
#include <waterline/testing/NginxServer.h>
#include <waterline/testing/ScriptedServer.h>
#include <waterline/testing/Subprocess.h>
#include <waterline/testing/TestCertificateAuthority.h>

#include <gmock/gmock.h>

#include <sys/resource.h>

#include <thread>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

double processCPUSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

TEST(HTTPRequestConnection, FollowsFiveRedirectsAndFailsOnTheSixth)
{
    START_OR_FAIL(nginx, NginxServer::start());
    auto five = requestFor(nginx->url(NginxServer::redirectPath(5)));
    five->startSynchronous();
    EXPECT_EQ(five->error(), nullptr) << errorText(*five);
    EXPECT_EQ(five->responseStatusCode(), 200);
    EXPECT_EQ(five->redirectCount(), 5);

    auto six = requestFor(nginx->url(NginxServer::redirectPath(6, {.location = RedirectLocation::PathRelative})));
    six->startSynchronous();
    EXPECT_EQ(six->error(), HTTPRequestErrors::tooManyRedirects());
    EXPECT_EQ(errorText(*six), "The request failed because it redirected too many times");

    auto unfollowed = requestFor(nginx->url(NginxServer::redirectPath(2)));
    unfollowed->setShouldRedirect(false);
    unfollowed->startSynchronous();
    EXPECT_EQ(unfollowed->responseStatusCode(), 302);
}

TEST(HTTPRequestConnection, RedirectMethodsFollowTheStatus)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest& seen) {
        if (seen.target == "/see-other")
            return ScriptedReply::response(303, {{"Location", "landing"}});
        if (seen.target == "/temporary")
            return ScriptedReply::response(307, {{"Location", "/landing"}});
        if (seen.target == "/not-modified")
            return ScriptedReply::response(304, {{"Location", "/landing"}});
        return ScriptedReply::response(200, {}, "landed");
    });
    auto post = [&](const std::string& path) {
        auto request = requestFor(server->url(path));
        request->appendPostData("payload");
        EXPECT_FALSE(request->addRequestHeader("X-Test", "caller").isError());
        request->startSynchronous();
        return request;
    };
    auto seeOther = post("/see-other");
    auto temporary = post("/temporary");
    auto notModified = post("/not-modified");
    EXPECT_EQ(bodyText(*seeOther), "landed");
    EXPECT_EQ(notModified->responseStatusCode(), 304);
    ASSERT_TRUE(server->waitForRequests(5, 5s));
    auto seen = server->requests();
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[1].method, "GET");
    EXPECT_EQ(seen[1].target, "/landing");
    EXPECT_EQ(seen[1].body, "");
    EXPECT_EQ(seen[1].header("X-Test"), std::nullopt);
    EXPECT_EQ(seen[1].header("Content-Length"), std::nullopt);
    EXPECT_EQ(seen[3].method, "POST");
    EXPECT_EQ(seen[3].body, "payload");
    EXPECT_EQ(seen[3].header("X-Test"), "caller");
    EXPECT_EQ(seen[4].target, "/not-modified");
}

// A server that never answers: the request gives up after its time-out, and while
// it waits the process sleeps instead of spinning.
TEST(HTTPRequestConnection, SilentServerTimesOutWithoutBurningCPU)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->enqueue(ScriptedReply::headersThenHang(200, 100));
    auto request = requestFor(server->url("/slow"));
    request->setTimeOutSeconds(1.5);
    double cpuBefore = processCPUSeconds();
    auto wallBefore = std::chrono::steady_clock::now();
    request->startSynchronous();
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    double cpu = processCPUSeconds() - cpuBefore;
    EXPECT_EQ(request->error(), HTTPRequestErrors::requestTimedOut());
    EXPECT_EQ(errorText(*request), "The request timed out");
    EXPECT_GE(wall, 1.5);
    EXPECT_LT(cpu, wall / 10) << "cpu " << cpu << " s over " << wall << " s";
    EXPECT_EQ(request->rawResponseData(), nullptr);
}

TEST(HTTPRequestConnection, RefusedConnectionIsAConnectionFailure)
{
    auto port = pickFreeLoopbackPort();
    ASSERT_FALSE(port.isError()) << port.error()->debugDescription();
    auto request = requestFor("http://127.0.0.1:" + std::to_string(*port) + "/");
    request->startSynchronous();
    ASSERT_NE(request->error(), nullptr);
    EXPECT_EQ(request->error()->code(), 1);
    EXPECT_EQ(errorText(*request), "A connection failure occurred");
    EXPECT_NE(request->error()->underlyingError(), nullptr);
}

TEST(HTTPRequestConnection, DecodesGzipDownloadsInMemoryAndInFiles)
{
    START_OR_FAIL(nginx, NginxServer::start());
    std::string content;
    for (int i = 0; i < 20000; ++i)
        content += "line " + std::to_string(i) + "\n";
    ASSERT_FALSE(nginx->writeFile("big.txt", content).isError());

    auto memory = requestFor(nginx->url("/gzip/big.txt"));
    memory->startSynchronous();
    ASSERT_EQ(memory->error(), nullptr) << errorText(*memory);
    EXPECT_TRUE(memory->isResponseCompressed());
    EXPECT_LT(memory->rawResponseData()->size(), content.size());
    EXPECT_TRUE(bodyText(*memory) == content);

    ScratchPath destination;
    auto file = requestFor(nginx->url("/gzip/big.txt"));
    file->setDownloadDestinationPath(destination.path);
    file->startSynchronous();
    ASSERT_EQ(file->error(), nullptr) << errorText(*file);
    EXPECT_TRUE(fileText(destination.path) == content);
    EXPECT_FALSE(file->temporaryFileDownloadPath());
    EXPECT_FALSE(file->responseString());
}

// A corrupt gzip download fails with the decompression text and leaves what was at
// the destination alone.
TEST(HTTPRequestConnection, CorruptGzipDownloadFailsAndKeepsTheDestination)
{
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("bad.gz", std::string("\x1f\x8b\x08\x00garbage-garbage-garbage", 27)).isError());
    ScratchPath destination;
    ASSERT_FALSE(writeFileAtomically(destination.path, "previous").isError());
    auto request = requestFor(nginx->url("/as-gzip/bad.gz"));
    request->setDownloadDestinationPath(destination.path);
    request->startSynchronous();
    ASSERT_NE(request->error(), nullptr);
    EXPECT_EQ(request->error()->code(), 8);
    EXPECT_THAT(errorText(*request), ::testing::MatchesRegex("Decompression of .* failed with code -3"));
    EXPECT_EQ(fileText(destination.path), "previous");
    EXPECT_FALSE(request->temporaryFileDownloadPath());
}

TEST(HTTPRequestConnection, ResumesACutDownloadWithEveryByteRight)
{
    START_OR_FAIL(server, ScriptedServer::start());
    std::string content;
    for (int i = 0; i < 50000; ++i)
        content += static_cast<char>('a' + (i * 7) % 26);
    server->enqueue(ScriptedReply::cutBody(200, content, 12345));
    ScratchPath destination;
    ScratchPath partial;
    auto first = requestFor(server->url("/file"));
    first->setDownloadDestinationPath(destination.path);
    first->setTemporaryFileDownloadPath(partial.path);
    first->setAllowResumeForFileDownloads(true);
    first->startSynchronous();
    ASSERT_NE(first->error(), nullptr);
    EXPECT_TRUE(fileText(partial.path) == content.substr(0, 12345)) << fileText(partial.path).size() << " bytes";

    server->setResponder([&](const RecordedRequest&) {
        return ScriptedReply::response(206, {{"Content-Range", "bytes 12345-49999/50000"}}, content.substr(12345));
    });
    auto second = requestFor(server->url("/file"));
    second->setDownloadDestinationPath(destination.path);
    second->setTemporaryFileDownloadPath(partial.path);
    second->setAllowResumeForFileDownloads(true);
    second->startSynchronous();
    ASSERT_EQ(second->error(), nullptr) << errorText(*second);
    EXPECT_EQ(second->partialDownloadSize(), 12345u);
    EXPECT_EQ(server->requests().back().header("Range"), "bytes=12345-");
    EXPECT_TRUE(fileText(destination.path) == content) << fileText(destination.path).size() << " bytes";
    EXPECT_FALSE(std::filesystem::exists(partial.path));
}

// Cancelling from another thread: a memory download drops what it had, a resumable
// file download keeps its partial file; the failure is reported once.
TEST(HTTPRequestConnection, CancelDropsMemoryBytesAndKeepsResumableFiles)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder([](const RecordedRequest&) {
        ScriptedReply reply = ScriptedReply::cutBody(200, std::string(100000, 'c'), 5000);
        reply.after = AfterReply::Hang;
        return reply;
    });
    auto runAndCancel = [](const std::shared_ptr<HTTPRequest>& request) {
        auto delegate = std::make_shared<RecordingDelegate>();
        request->setDelegate(delegate);
        std::thread canceller([request] {
            for (int i = 0; i < 400 && request->totalBytesRead() < 5000; ++i)
                std::this_thread::sleep_for(10ms);
            request->cancel();
            request->cancel();
        });
        request->startSynchronous();
        canceller.join();
        runMainUntil([&] { return delegate->failed > 0; }, 2);
        EXPECT_EQ(delegate->failed, 1);
        EXPECT_EQ(request->error(), HTTPRequestErrors::requestCancelled());
        EXPECT_TRUE(request->isFinished());
    };
    auto memory = requestFor(server->url("/m"));
    runAndCancel(memory);
    EXPECT_EQ(memory->rawResponseData(), nullptr);

    ScratchPath destination;
    ScratchPath partial;
    auto file = requestFor(server->url("/f"));
    file->setDownloadDestinationPath(destination.path);
    file->setTemporaryFileDownloadPath(partial.path);
    file->setAllowResumeForFileDownloads(true);
    runAndCancel(file);
    EXPECT_TRUE(fileText(partial.path) == std::string(5000, 'c')) << fileText(partial.path).size() << " bytes";
    EXPECT_FALSE(std::filesystem::exists(destination.path));
}

TEST(HTTPRequestConnection, TLSFailsWithTheSSLWordingAndSucceedsWithTheTrustedAuthority)
{
    START_OR_FAIL(authority, TestCertificateAuthority::create());
    START_OR_FAIL(selfSigned, NginxServer::start({.tls = authority->selfSigned()}));
    START_OR_FAIL(trusted, NginxServer::start({.tls = authority->server()}));
    ASSERT_FALSE(trusted->writeFile("s.txt", "secure").isError());
    ASSERT_FALSE(selfSigned->writeFile("s.txt", "secure").isError());

    auto refused = requestFor(selfSigned->url("/s.txt"));
    refused->setCertificateAuthorityFile(authority->certificatePath().string());
    refused->startSynchronous();
    ASSERT_NE(refused->error(), nullptr);
    EXPECT_EQ(refused->error()->code(), 1);
    EXPECT_EQ(errorText(*refused),
              "A connection failure occurred: SSL problem (possibily a bad/expired/self-signed certificate)");

    auto unchecked = requestFor(selfSigned->url("/s.txt"));
    unchecked->setValidatesSecureCertificate(false);
    unchecked->startSynchronous();
    EXPECT_EQ(bodyText(*unchecked), "secure") << errorText(*unchecked);

    auto good = requestFor(trusted->url("/s.txt"));
    good->setCertificateAuthorityFile(authority->certificatePath().string());
    good->startSynchronous();
    EXPECT_EQ(bodyText(*good), "secure") << errorText(*good);
}

// Redirects go only to http and https, and what the caller set for one origin is not
// carried to another.
TEST(HTTPRequestConnection, RedirectsKeepCallerSecretsAtHome)
{
    START_OR_FAIL(elsewhere, ScriptedServer::start());
    elsewhere->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "other"); });
    START_OR_FAIL(home, ScriptedServer::start());
    home->setResponder([&](const RecordedRequest& seen) {
        if (seen.target == "/to-file")
            return ScriptedReply::response(302, {{"Location", "file:///etc/passwd"}}, "stay");
        if (seen.target == "/same-origin")
            return ScriptedReply::response(302, {{"Location", "/landing"}});
        if (seen.target == "/away")
            return ScriptedReply::response(302, {{"Location", elsewhere->url("/landing")}});
        return ScriptedReply::response(200, {}, "home");
    });
    auto withSecrets = [&](const std::string& path) {
        auto request = requestFor(home->url(path));
        EXPECT_FALSE(request->addRequestHeader("Authorization", "Basic c2VjcmV0").isError());
        EXPECT_FALSE(request->addRequestHeader("Cookie", "session=1").isError());
        request->startSynchronous();
        return request;
    };
    auto toFile = withSecrets("/to-file");
    EXPECT_EQ(toFile->responseStatusCode(), 302);
    EXPECT_EQ(bodyText(*toFile), "stay");

    withSecrets("/same-origin");
    ASSERT_TRUE(home->waitForRequests(3, 5s));
    EXPECT_EQ(home->requests()[2].header("Authorization"), "Basic c2VjcmV0");

    auto away = withSecrets("/away");
    EXPECT_EQ(bodyText(*away), "other");
    ASSERT_TRUE(elsewhere->waitForRequests(1, 5s));
    EXPECT_EQ(elsewhere->requests()[0].header("Authorization"), std::nullopt);
    EXPECT_EQ(elsewhere->requests()[0].header("Cookie"), std::nullopt);
}

TEST(HTTPRequestConnection, GarbledContentLengthCountsAsAbsent)
{
    START_OR_FAIL(server, ScriptedServer::start());
    for (const char* length : {"-5", "12abc", "+7"}) {
        server->enqueue(ScriptedReply::raw(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + length
                                           + "\r\nConnection: close\r\n\r\nhello"));
        auto request = requestFor(server->url("/x"));
        request->startSynchronous();
        EXPECT_EQ(request->contentLength(), 0u) << length;
        EXPECT_EQ(request->readBufferSize(), 2048u);
    }
}

} // namespace
