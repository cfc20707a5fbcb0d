#include "ServerHarnessCurl.h"

#include <waterline/testing/LoopbackPort.h>
#include <waterline/testing/NginxServer.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

using namespace waterline::testing;
using ::testing::AllOf;
using ::testing::HasSubstr;

namespace {

std::unique_ptr<NginxServer> startNginx(NginxOptions options = {})
{
    auto server = NginxServer::start(std::move(options));
    if (!server) {
        ADD_FAILURE() << "nginx did not start: " << server.error()->debugDescription();
        return nullptr;
    }
    return server.releaseValue();
}

TEST(ServerHarnessNginx, ServesFilesWithRangesAndStopsWithoutTraces)
{
    auto nginx = startNginx();
    ASSERT_TRUE(nginx);
    ASSERT_FALSE(nginx->writeFile("folder/a.txt", "0123456789").isError());
    EXPECT_EQ(curlBody(nginx->url("/folder/a.txt")), "0123456789");
    EXPECT_THAT(
        curlOutput({"-i", "-r", "3-5", nginx->url("folder/a.txt")}),
        AllOf(HasSubstr("206 Partial Content"), HasSubstr("Content-Range: bytes 3-5/10"), HasSubstr("\r\n\r\n345")));
    EXPECT_THAT(curlOutput({"-i", "-r", "3-5", nginx->url("/no-ranges/folder/a.txt")}),
                AllOf(HasSubstr("200 OK"), HasSubstr("0123456789")));
    EXPECT_TRUE(nginx->waitForAccessLog("GET /folder/a.txt HTTP/1.1 206 3 range=bytes=3-5\n")) << nginx->accessLog();

    pid_t pid = nginx->process().pid();
    auto port = nginx->port();
    auto folder = nginx->process().folder();
    nginx.reset();
    EXPECT_NE(::kill(pid, 0), 0) << "the nginx process is still there";
    EXPECT_FALSE(acceptsConnections(port));
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(ServerHarnessNginx, GzipEncodesOnRequestAndLabelsStoredBytes)
{
    auto nginx = startNginx();
    ASSERT_TRUE(nginx);
    ASSERT_FALSE(nginx->writeFile("b.bin", std::string(1000, 'b')).isError());
    EXPECT_THAT(
        curlOutput({"-i", "-o", "/dev/null", "-D", "-", "-H", "Accept-Encoding: gzip", nginx->url("/gzip/b.bin")}),
        HasSubstr("Content-Encoding: gzip"));
    EXPECT_EQ(curlBody(nginx->url("/gzip/b.bin"), {"--compressed"}), std::string(1000, 'b'));
    EXPECT_THAT(curlOutput({"-i", nginx->url("/as-gzip/b.bin")}),
                AllOf(HasSubstr("Content-Encoding: gzip"), HasSubstr("Content-Length: 1000")));
}

TEST(ServerHarnessNginx, RedirectChainsEndAtAnEcho)
{
    auto nginx = startNginx();
    ASSERT_TRUE(nginx);
    for (auto location : {RedirectLocation::Absolute, RedirectLocation::RootRelative, RedirectLocation::PathRelative}) {
        auto path = NginxServer::redirectPath(3, {.status = 303, .location = location});
        auto first = curlOutput({"-i", nginx->url(path)});
        EXPECT_THAT(first, HasSubstr("303 See Other"));
        auto followed = curlOutput({"-L", "-d", "x=1", nginx->url(path)});
        EXPECT_THAT(followed,
                    AllOf(HasSubstr("method: GET\n"),
                          HasSubstr("target: " + NginxServer::redirectPath(0, {.status = 303, .location = location}))));
    }
    EXPECT_THAT(
        curlOutput({"-i", nginx->url(NginxServer::redirectPath(1, {.location = RedirectLocation::Absolute}))}),
        HasSubstr("Location: " + nginx->url(NginxServer::redirectPath(0, {.location = RedirectLocation::Absolute}))));
    EXPECT_THAT(curlOutput({"-i",
                            nginx->url(NginxServer::redirectPath(
                                2, {.status = 307, .location = RedirectLocation::PathRelative}))}),
                AllOf(HasSubstr("307 Temporary Redirect"), HasSubstr("Location: 1\r\n")));
    EXPECT_THAT(curlOutput({"-i", nginx->url("/redirect-to/304?url=/elsewhere")}),
                AllOf(HasSubstr("304 Not Modified"), HasSubstr("Location: /elsewhere")));
}

TEST(ServerHarnessNginx, CookiesAndHeadersAreEchoed)
{
    auto nginx = startNginx({.cookieSets = {{"pair", {"a=1; Path=/", "b=\"two\"; HttpOnly"}}}});
    ASSERT_TRUE(nginx);
    EXPECT_THAT(curlOutput({"-i", nginx->url("/cookies/set/pair")}),
                AllOf(HasSubstr("Set-Cookie: a=1; Path=/\r\n"), HasSubstr("Set-Cookie: b=\"two\"; HttpOnly\r\n")));
    EXPECT_THAT(curlOutput({"-i", nginx->url("/cookies/set/deeper?c=3;Path=/cookies")}),
                HasSubstr("Set-Cookie: c=3;Path=/cookies\r\n"));
    EXPECT_EQ(curlBody(nginx->url("/cookies/echo/x"), {"-b", "a=1; b=2"}), "a=1; b=2");

    auto echo = curlBody(nginx->url("/echo/here?q=1"), {"-0", "-H", "X-Test: yes", "-A", "agent/1", "-d", "body"});
    EXPECT_THAT(echo,
                AllOf(HasSubstr("method: POST\n"), HasSubstr("target: /echo/here?q=1\n"),
                      HasSubstr("protocol: HTTP/1.0\n"), HasSubstr("user-agent: agent/1\n"),
                      HasSubstr("content-length: 4\n"), HasSubstr("x-test: yes\n")));
}

TEST(ServerHarnessNginx, StartFailsWithTheReason)
{
    auto missing = NginxServer::start({.executable = "/nonexistent/nginx"});
    ASSERT_TRUE(missing.isError());
    EXPECT_THAT(missing.error()->localizedDescription(), HasSubstr("Cannot start /nonexistent/nginx"));

    auto rejected = NginxServer::start({.extraServerDirectives = "no_such_directive on;"});
    ASSERT_TRUE(rejected.isError());
    EXPECT_THAT(rejected.error()->localizedDescription(),
                AllOf(HasSubstr("nginx exited with status 1 before listening"), HasSubstr("no_such_directive")));

    auto unsafe = NginxServer::start({.cookieSets = {{"bad", {"a=$x"}}}});
    ASSERT_TRUE(unsafe.isError());
}

} // namespace
