// Proxies through a real squid: named by the caller, by the environment, and by PAC
// scripts from a file and from a web server. The proxy's access log proves the way.
#include "RequestTestSupport.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/testing/NginxServer.h>
#include <waterline/testing/ScriptedServer.h>
#include <waterline/testing/SquidProxy.h>
#include <waterline/testing/TemporaryFolder.h>

#include <gmock/gmock.h>

#include <cstdlib>

using namespace waterline;
using namespace waterline::test;
using namespace waterline::testing;
using namespace std::chrono_literals;
using ::testing::HasSubstr;

namespace {

// Sets environment variables for one test and restores them after.
class ScopedEnvironment {
public:
    void set(const char* name, const std::optional<std::string>& value)
    {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            it->second ? ::setenv(it->first.c_str(), it->second->c_str(), 1) : ::unsetenv(it->first.c_str());
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST(HTTPRequestProxy, GoesThroughTheProxyThatCallerEnvironmentOrScriptNames)
{
    START_OR_FAIL(nginx, NginxServer::start());
    START_OR_FAIL(squid, SquidProxy::start());
    START_OR_FAIL(folder, TemporaryFolder::create());
    for (const char* name : {"explicit", "environment", "pac-file", "pac-http", "direct"})
        ASSERT_FALSE(nginx->writeFile(std::string(name) + ".txt", name).isError());
    std::string pac = "function FindProxyForURL(url, host) {\n"
                      "  if (shExpMatch(url, '*direct*')) return 'DIRECT';\n"
                      "  return 'PROXY 127.0.0.1:"
        + std::to_string(squid->port()) + "; DIRECT';\n}\n";
    ASSERT_FALSE(writeFileAtomically(folder.path() / "proxy.pac", pac).isError());
    ASSERT_FALSE(nginx->writeFile("proxy.pac", pac).isError());
    ScopedEnvironment environment;
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "NO_PROXY", "auto_proxy"})
        environment.set(name, std::nullopt);

    auto viaCaller = requestFor(nginx->url("/explicit.txt"));
    viaCaller->setProxyHost("127.0.0.1");
    viaCaller->setProxyPort(squid->port());
    viaCaller->startSynchronous();
    EXPECT_EQ(bodyText(*viaCaller), "explicit") << errorText(*viaCaller);
    EXPECT_TRUE(squid->waitForAccessLog(nginx->url("/explicit.txt")));

    auto pacFile = requestFor(nginx->url("/pac-file.txt"));
    pacFile->setPACurl(urlFrom("file://" + (folder.path() / "proxy.pac").string()));
    pacFile->startSynchronous();
    EXPECT_EQ(bodyText(*pacFile), "pac-file") << errorText(*pacFile);
    EXPECT_EQ(pacFile->proxyHost(), "127.0.0.1");
    EXPECT_TRUE(squid->waitForAccessLog(nginx->url("/pac-file.txt")));

    auto direct = requestFor(nginx->url("/direct.txt"));
    direct->setPACurl(urlFrom("file://" + (folder.path() / "proxy.pac").string()));
    direct->startSynchronous();
    EXPECT_EQ(bodyText(*direct), "direct");

    environment.set("http_proxy", squid->url());
    auto viaEnvironment = requestFor(nginx->url("/environment.txt"));
    viaEnvironment->startSynchronous();
    EXPECT_EQ(bodyText(*viaEnvironment), "environment") << errorText(*viaEnvironment);
    EXPECT_TRUE(squid->waitForAccessLog(nginx->url("/environment.txt")));

    environment.set("http_proxy", std::nullopt);
    environment.set("auto_proxy", nginx->url("/proxy.pac"));
    auto pacHTTP = requestFor(nginx->url("/pac-http.txt"));
    pacHTTP->startSynchronous();
    EXPECT_EQ(bodyText(*pacHTTP), "pac-http") << errorText(*pacHTTP);
    EXPECT_TRUE(squid->waitForAccessLog(nginx->url("/pac-http.txt")));
    EXPECT_FALSE(squid->waitForAccessLog(nginx->url("/proxy.pac"), 0ms));
    EXPECT_FALSE(squid->waitForAccessLog(nginx->url("/direct.txt"), 0ms));

    auto broken = requestFor(nginx->url("/explicit.txt"));
    broken->setPACurl(urlFrom("file://" + (folder.path() / "missing.pac").string()));
    broken->startSynchronous();
    ASSERT_NE(broken->error(), nullptr);
    EXPECT_EQ(broken->error()->code(), 6);
    EXPECT_EQ(errorText(*broken), "Unable to obtain information on proxy servers needed for request");
}

// For https the proxy sees only the CONNECT request; everything after it goes through
// the tunnel to the origin. Proxy credentials belong on the CONNECT, not in the tunnel.
TEST(HTTPRequestProxy, ProxyCredentialsOfATunnelGoToTheProxyOnly)
{
    START_OR_FAIL(proxy, ScriptedServer::start());
    proxy->enqueue(ScriptedReply::response(403, {}, "no tunnels here"));
    auto request = requestFor("https://127.0.0.1:9/secret");
    request->setProxyHost("127.0.0.1");
    request->setProxyPort(proxy->port());
    ASSERT_FALSE(request->addRequestHeader("Proxy-Authorization", "Basic dHVubmVsOmtleQ==").isError());
    request->startSynchronous();
    EXPECT_NE(request->error(), nullptr);
    ASSERT_TRUE(proxy->waitForRequests(1, 5s));
    auto connect = proxy->requests()[0];
    EXPECT_EQ(connect.method, "CONNECT");
    EXPECT_EQ(connect.target, "127.0.0.1:9");
    EXPECT_EQ(connect.header("Proxy-Authorization"), "Basic dHVubmVsOmtleQ==");
}

} // namespace
