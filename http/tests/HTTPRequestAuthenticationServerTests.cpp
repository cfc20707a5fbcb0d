// Challenges of real servers answered by the request: nginx (Basic), Apache (Digest
// MD5) and squid (Basic and NTLM proxy authentication), each started by the test on a
// free loopback port.
#include "RequestTestSupport.h"

#include <waterline/testing/ApacheServer.h>
#include <waterline/testing/NginxServer.h>
#include <waterline/testing/SquidProxy.h>
#include <waterline/testing/TestCertificateAuthority.h>

#include <gmock/gmock.h>

namespace waterline {
namespace {

using namespace waterline::testing;
using test::bodyText;
using test::errorText;
using test::requestFor;
using ::testing::HasSubstr;
using ::testing::Not;

const std::vector<UserAccount> kAccounts{{"alice", "wonder land"}};

class HTTPRequestAuthenticationServers : public ::testing::Test {
protected:
    void SetUp() override { HTTPRequest::clearSession(); }
    void TearDown() override { HTTPRequest::clearSession(); }
};

std::shared_ptr<HTTPRequest> fetch(const std::string& url, const std::function<void(HTTPRequest&)>& configure = {})
{
    auto request = requestFor(url);
    if (configure)
        configure(*request);
    request->startSynchronous();
    return request;
}

TEST_F(HTTPRequestAuthenticationServers, NginxBasicRightWrongAndAbsentPasswords)
{
    START_OR_FAIL(
        nginx, NginxServer::start({.protectedAreas = {{.path = "/auth/", .realm = "Vault", .accounts = kAccounts}}}));
    ASSERT_FALSE(nginx->writeFile("a.txt", "secret").isError());
    auto withFields = [](std::string password) {
        return [password](HTTPRequest& request) {
            request.setUsername("alice");
            request.setPassword(password);
        };
    };

    auto absent = fetch(nginx->url("/auth/a.txt"));
    EXPECT_EQ(errorText(*absent), "Authentication needed");
    auto wrong = fetch(nginx->url("/auth/a.txt"), withFields("wrong"));
    EXPECT_EQ(errorText(*wrong), "Authentication needed");
    EXPECT_EQ(wrong->authenticationRealm(), "Vault");

    auto right = fetch(nginx->url("/auth/a.txt"), withFields("wonder land"));
    ASSERT_EQ(right->responseStatusCode(), 200) << errorText(*right);
    EXPECT_EQ(bodyText(*right), "secret");

    // The second request carries no fields and goes out with the session's Basic
    // header: nginx never challenges it.
    std::string before = nginx->authLog();
    auto second = fetch(nginx->url("/auth/a.txt"));
    ASSERT_EQ(second->responseStatusCode(), 200) << errorText(*second);
    ASSERT_TRUE(nginx->waitForAuthLog(before + "GET /auth/a.txt 200 user=alice")) << nginx->authLog();
    EXPECT_THAT(nginx->authLog().substr(before.size()), Not(HasSubstr(" 401 ")));
}

TEST_F(HTTPRequestAuthenticationServers, NginxTakesTheURLsUserInformationBeforeTheFields)
{
    START_OR_FAIL(nginx, NginxServer::start({.protectedAreas = {{.path = "/auth/", .accounts = kAccounts}}}));
    ASSERT_FALSE(nginx->writeFile("a.txt", "secret").isError());
    std::string url = nginx->url("/auth/a.txt");
    url.replace(0, 7, "http://alice:wonder%20land@");
    auto request = fetch(url, [](HTTPRequest& request) {
        request.setUsername("mallory");
        request.setPassword("nope");
        request.setShouldPresentCredentialsBeforeChallenge(false);
    });
    ASSERT_EQ(request->responseStatusCode(), 200) << errorText(*request);
    EXPECT_TRUE(nginx->waitForAuthLog("GET /auth/a.txt 200 user=alice")) << nginx->authLog();
    EXPECT_THAT(nginx->authLog(), Not(HasSubstr("mallory")));
}

TEST_F(HTTPRequestAuthenticationServers, ApacheDigestMD5)
{
    START_OR_FAIL(
        apache,
        ApacheServer::start(
            {.protectedAreas
             = {{.path = "/digest/", .scheme = AuthScheme::Digest, .realm = "Vault", .accounts = kAccounts}}}));
    ASSERT_FALSE(apache->writeFile("a.txt", "secret").isError());
    auto wrong = fetch(apache->url("/digest/a.txt"), [](HTTPRequest& request) {
        request.setUsername("alice");
        request.setPassword("wrong");
    });
    EXPECT_EQ(errorText(*wrong), "Authentication needed");
    EXPECT_EQ(wrong->authenticationScheme(), "Digest");

    auto right = fetch(apache->url("/digest/a.txt?x=1"), [](HTTPRequest& request) {
        request.setUsername("alice");
        request.setPassword("wonder land");
    });
    ASSERT_EQ(right->responseStatusCode(), 200) << errorText(*right);
    EXPECT_EQ(bodyText(*right), "secret");
    EXPECT_TRUE(apache->waitForAccessLog(R"(200 user=alice authorization=Digest username=\"alice\")"))
        << apache->accessLog();

    // The session record answers the next request at once, with the next nonce count.
    auto again = fetch(apache->url("/digest/a.txt"));
    EXPECT_EQ(again->responseStatusCode(), 200) << errorText(*again);
    EXPECT_TRUE(apache->waitForAccessLog("nc=00000002")) << apache->accessLog();
}

// For https the proxy challenges the CONNECT request that opens the tunnel; for http
// the request itself.
TEST_F(HTTPRequestAuthenticationServers, SquidBasicProxyAuthenticationForHttpAndATunnel)
{
    START_OR_FAIL(proxy,
                  SquidProxy::start({.authentication = ProxyAuthentication{.realm = "Gate", .accounts = kAccounts}}));
    START_OR_FAIL(authority, TestCertificateAuthority::create());
    START_OR_FAIL(plain, NginxServer::start());
    START_OR_FAIL(secure, NginxServer::start({.tls = authority->server()}));
    for (auto* nginx : {plain.get(), secure.get()}) {
        SCOPED_TRACE(nginx->url("/"));
        ASSERT_FALSE(nginx->writeFile("a.txt", "through").isError());
        auto viaProxy = [&](std::optional<std::string> password) {
            return [&, password](HTTPRequest& request) {
                request.setUseSessionPersistance(false); // each target is answered from the fields
                request.setCertificateAuthorityFile(authority->certificatePath().string());
                request.setProxyHost("127.0.0.1");
                request.setProxyPort(proxy->port());
                request.setProxyUsername("alice");
                request.setProxyPassword(password);
            };
        };
        auto wrong = fetch(nginx->url("/a.txt"), viaProxy("wrong"));
        EXPECT_EQ(errorText(*wrong), "Authentication needed");
        auto right = fetch(nginx->url("/a.txt"), viaProxy("wonder land"));
        ASSERT_EQ(right->responseStatusCode(), 200) << errorText(*right);
        EXPECT_EQ(bodyText(*right), "through");
        EXPECT_EQ(right->proxyAuthenticationRealm(), "Gate");
    }
    EXPECT_TRUE(proxy->waitForAccessLog(" alice ")) << proxy->accessLog();
}

TEST_F(HTTPRequestAuthenticationServers, SquidNTLMProxyAuthenticationThroughTheTransport)
{
    START_OR_FAIL(
        proxy,
        SquidProxy::start({.authentication = ProxyAuthentication{
                               .schemes = {ProxyAuthScheme::NTLM, ProxyAuthScheme::Basic}, .accounts = kAccounts}}));
    START_OR_FAIL(nginx, NginxServer::start());
    ASSERT_FALSE(nginx->writeFile("a.txt", "through").isError());
    auto request = fetch(nginx->url("/a.txt"), [&](HTTPRequest& request) {
        request.setProxyHost("127.0.0.1");
        request.setProxyPort(proxy->port());
        request.setProxyUsername("dave");
        request.setProxyPassword("anything");
        request.setProxyDomain("OFFICE");
    });
    ASSERT_EQ(request->responseStatusCode(), 200) << errorText(*request);
    EXPECT_EQ(bodyText(*request), "through");
    EXPECT_EQ(request->proxyAuthenticationScheme(), "NTLM");
    EXPECT_EQ(request->proxyAuthenticationRealm(), std::nullopt);
    EXPECT_TRUE(proxy->waitForAccessLog("dave")) << proxy->accessLog();
}

} // namespace
} // namespace waterline
