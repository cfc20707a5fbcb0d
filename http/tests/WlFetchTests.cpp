// wl-fetch end to end: the built tool, spawned against real servers, for its main
// options and exit statuses.
#include "RequestTestSupport.h"
#include "WlFetchRun.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/testing/NginxServer.h>
#include <waterline/testing/ScriptedServer.h>
#include <waterline/testing/SquidProxy.h>
#include <waterline/testing/Subprocess.h>
#include <waterline/testing/TemporaryFolder.h>

#include <gmock/gmock.h>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

TEST(WlFetch, DownloadsToStdoutAndFilesAndDecodesGzip)
{
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    std::string content;
    for (int i = 0; i < 3000; ++i)
        content += "row " + std::to_string(i) + "\n";
    ASSERT_FALSE(nginx->writeFile("rows.txt", content).isError());

    auto toStdout = fetch({nginx->url("/rows.txt")});
    EXPECT_EQ(toStdout.exitCode, 0);
    EXPECT_TRUE(toStdout.output == content);

    auto gzip = fetch({nginx->url("/gzip/rows.txt"), "-o", (folder.path() / "rows").string(), "-D",
                       (folder.path() / "head").string()});
    EXPECT_EQ(gzip.exitCode, 0) << gzip.output;
    EXPECT_TRUE(fileText(folder.path() / "rows") == content);
    EXPECT_THAT(fileText(folder.path() / "head"), HasSubstr("Content-Encoding: gzip"));

    auto withHead = fetch({"-i", nginx->url("/rows.txt"), "--no-compressed"});
    EXPECT_THAT(withHead.output, ::testing::StartsWith("HTTP/1.1 200 OK\r\n"));
}

TEST(WlFetch, ResumesIntoThePartFileAndRenamesIt)
{
    START_OR_FAIL(server, ScriptedServer::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    std::string content(40000, 'r');
    content[39999] = 'z';
    server->enqueue(ScriptedReply::cutBody(200, content, 10000));
    auto target = (folder.path() / "big").string();
    auto cut = fetch({server->url("/big"), "-o", target, "--resume"});
    EXPECT_EQ(cut.exitCode, 1);
    EXPECT_THAT(cut.output, HasSubstr("wl-fetch: A connection failure occurred"));
    EXPECT_EQ(fileText(target + ".part").size(), 10000u);

    server->enqueue(ScriptedReply::response(206, {}, content.substr(10000)));
    auto resumed = fetch({server->url("/big"), "-o", target, "--resume"});
    EXPECT_EQ(resumed.exitCode, 0) << resumed.output;
    EXPECT_EQ(server->requests().back().header("Range"), "bytes=10000-");
    EXPECT_TRUE(fileText(target) == content);
    EXPECT_FALSE(std::filesystem::exists(target + ".part"));
}

TEST(WlFetch, SendsBodiesMethodsAndHeaders)
{
    START_OR_FAIL(server, ScriptedServer::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    server->setResponder([](const RecordedRequest&) { return ScriptedReply::response(200, {}, "ok"); });
    ASSERT_FALSE(writeFileAtomically(folder.path() / "body", std::string(100000, 'd')).isError());
    std::string bodyArgument = "@";
    bodyArgument.append((folder.path() / "body").string());
    EXPECT_EQ(fetch({server->url("/a"), "-d", "x=1", "-H", "X-Test: yes", "-A", "tester/2"}).exitCode, 0);
    EXPECT_EQ(
        fetch({server->url("/b"), "-X", "PUT", "--data-binary", bodyArgument, "--gzip-body", "--http1.0"}).exitCode, 0);
    ASSERT_TRUE(server->waitForRequests(2, 5s));
    auto seen = server->requests();
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, "x=1");
    EXPECT_EQ(seen[0].header("X-Test"), "yes");
    EXPECT_EQ(seen[0].header("User-Agent"), "tester/2");
    EXPECT_EQ(seen[1].method, "PUT");
    EXPECT_EQ(seen[1].version, "HTTP/1.0");
    EXPECT_EQ(seen[1].header("Content-Encoding"), "gzip");
    EXPECT_LT(seen[1].body.size(), 100000u);
}

TEST(WlFetch, ExitStatusesTellWhatWentWrong)
{
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(server, ScriptedServer::start());
    server->enqueue(ScriptedReply::hang());

    auto missing = fetch({nginx->url("/missing"), "--fail"});
    EXPECT_EQ(missing.exitCode, 22);
    EXPECT_THAT(missing.output, HasSubstr("404"));
    EXPECT_EQ(fetch({nginx->url("/missing")}).exitCode, 0);

    auto loop = fetch({nginx->url(NginxServer::redirectPath(6))});
    EXPECT_EQ(loop.exitCode, 9);
    EXPECT_THAT(loop.output, HasSubstr("wl-fetch: The request failed because it redirected too many times"));
    auto unfollowed = fetch({"-i", "--no-redirect", nginx->url(NginxServer::redirectPath(6))});
    EXPECT_THAT(unfollowed.output, ::testing::StartsWith("HTTP/1.1 302"));

    auto slow = fetch({server->url("/slow"), "--timeout", "1"});
    EXPECT_EQ(slow.exitCode, 2);
    EXPECT_THAT(slow.output, HasSubstr("wl-fetch: The request timed out"));

    EXPECT_EQ(fetch({}).exitCode, 64);
    EXPECT_EQ(fetch({nginx->url("/"), "--bogus"}).exitCode, 64);
    EXPECT_EQ(fetch({nginx->url("/"), "-H", "NoColon"}).exitCode, 64);
    EXPECT_EQ(fetch({"--help"}).exitCode, 0);
}

TEST(WlFetch, GoesThroughAProxyOrAPACScript)
{
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(squid, SquidProxy::start());
    ASSERT_FALSE(nginx->writeFile("p.txt", "proxied").isError());
    ASSERT_FALSE(nginx->writeFile("q.txt", "proxied").isError());
    ASSERT_FALSE(nginx
                     ->writeFile("proxy.pac",
                                 "function FindProxyForURL(u, h) { return 'PROXY 127.0.0.1:"
                                     + std::to_string(squid->port()) + "'; }")
                     .isError());
    auto viaProxy = fetch({nginx->url("/p.txt"), "--proxy", "127.0.0.1:" + std::to_string(squid->port())});
    EXPECT_EQ(viaProxy.output, "proxied");
    auto viaPAC = fetch({nginx->url("/q.txt"), "--pac", nginx->url("/proxy.pac")});
    EXPECT_EQ(viaPAC.output, "proxied");
    EXPECT_TRUE(squid->waitForAccessLog(nginx->url("/p.txt")));
    EXPECT_TRUE(squid->waitForAccessLog(nginx->url("/q.txt")));
}

TEST(WlFetch, KeepsCookiesInAJar)
{
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    auto jar = (folder.path() / "jar").string();
    EXPECT_EQ(fetch({nginx->url("/cookies/set?tea=green;Max-Age=3600"), "--cookie-jar", jar}).exitCode, 0);
    auto echo = fetch({nginx->url("/cookies/echo"), "--cookie-jar", jar});
    EXPECT_THAT(echo.output, HasSubstr("tea=green"));
}

} // namespace
