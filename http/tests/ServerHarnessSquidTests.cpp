#include "ServerHarnessCurl.h"

#include <waterline/testing/LoopbackPort.h>
#include <waterline/testing/NginxServer.h>
#include <waterline/testing/SquidProxy.h>
#include <waterline/testing/TestCertificateAuthority.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

using namespace waterline::testing;
using ::testing::HasSubstr;

namespace {

template <typename Server> std::unique_ptr<Server> started(waterline::ErrorOr<std::unique_ptr<Server>> server)
{
    EXPECT_FALSE(server.isError()) << server.error()->debugDescription();
    return server ? server.releaseValue() : nullptr;
}

TEST(ServerHarnessSquid, ForwardsPlainRequestsAndTunnelsTLSThenStopsWithoutTraces)
{
    auto proxy = started(SquidProxy::start());
    ASSERT_TRUE(proxy);
    auto nginx = started(NginxServer::start());
    ASSERT_TRUE(nginx);
    ASSERT_FALSE(nginx->writeFile("a.txt", "through the proxy").isError());
    EXPECT_EQ(curlBody(nginx->url("/a.txt"), {"--proxy", proxy->url()}), "through the proxy");
    EXPECT_TRUE(proxy->waitForAccessLog("GET " + nginx->url("/a.txt"))) << proxy->accessLog();

    auto authority = TestCertificateAuthority::create();
    ASSERT_FALSE(authority.isError()) << authority.error()->debugDescription();
    auto tlsNginx = started(NginxServer::start({.tls = (*authority)->server()}));
    ASSERT_TRUE(tlsNginx);
    EXPECT_THAT(curlBody(tlsNginx->url("/echo"),
                         {"--proxy", proxy->url(), "--cacert", (*authority)->certificatePath().string()}),
                HasSubstr("method: GET\n"));
    EXPECT_TRUE(proxy->waitForAccessLog("CONNECT 127.0.0.1:" + std::to_string(tlsNginx->port()))) << proxy->accessLog();

    pid_t pid = proxy->process().pid();
    auto port = proxy->port();
    auto folder = proxy->process().folder();
    proxy.reset();
    EXPECT_NE(::kill(pid, 0), 0) << "the squid process is still there";
    EXPECT_FALSE(acceptsConnections(port));
    EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(ServerHarnessSquid, StartFailsWithTheReason)
{
    auto missing = SquidProxy::start({.executable = "/nonexistent/squid"});
    ASSERT_TRUE(missing.isError());
    EXPECT_THAT(missing.error()->localizedDescription(), HasSubstr("Cannot start /nonexistent/squid"));

    auto rejected = SquidProxy::start({.extraDirectives = "acl broken no_such_acl_type x"});
    ASSERT_TRUE(rejected.isError());
    EXPECT_THAT(rejected.error()->localizedDescription(), HasSubstr("no_such_acl_type"));
}

} // namespace
