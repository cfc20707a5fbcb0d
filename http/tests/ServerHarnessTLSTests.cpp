#include "ServerHarnessCurl.h"

#include <waterline/testing/NginxServer.h>
#include <waterline/testing/TestCertificateAuthority.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace waterline::testing;

namespace {

// curl's exit status for a TLS peer it cannot verify.
constexpr int kCurlPeerFailedVerification = 60;

class ServerHarnessTLS : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto made = TestCertificateAuthority::create();
        ASSERT_FALSE(made.isError()) << made.error()->debugDescription();
        authority = made.releaseValue();
    }

    std::unique_ptr<NginxServer> serve(TLSIdentity identity)
    {
        auto server = NginxServer::start({.tls = std::move(identity)});
        EXPECT_FALSE(server.isError()) << server.error()->debugDescription();
        return server ? server.releaseValue() : nullptr;
    }

    std::optional<int> curlExit(const NginxServer& server, const std::string& host)
    {
        std::string port = std::to_string(server.port());
        auto result
            = runCommand({"curl", "--silent", "--max-time", "20", "--cacert", authority->certificatePath().string(),
                          "--resolve", host + ":" + port + ":127.0.0.1", "https://" + host + ":" + port + "/echo"});
        EXPECT_FALSE(result.isError());
        return result ? result->exit.exitCode : std::nullopt;
    }

    std::unique_ptr<TestCertificateAuthority> authority;
};

TEST_F(ServerHarnessTLS, TheAuthoritysServerCertificateIsTrustedForBothNames)
{
    auto nginx = serve(authority->server());
    ASSERT_TRUE(nginx);
    EXPECT_THAT(nginx->url("/x"), ::testing::StartsWith("https://127.0.0.1:"));
    EXPECT_EQ(curlExit(*nginx, "127.0.0.1"), 0);
    EXPECT_EQ(curlExit(*nginx, "localhost"), 0);
}

TEST_F(ServerHarnessTLS, ExpiredSelfSignedAndWrongHostCertificatesAreRefused)
{
    for (const auto& identity : {authority->expired(), authority->selfSigned(), authority->wrongHost()}) {
        auto nginx = serve(identity);
        ASSERT_TRUE(nginx);
        EXPECT_EQ(curlExit(*nginx, "127.0.0.1"), kCurlPeerFailedVerification) << identity.certificate;
    }
    auto folder = authority->folder();
    authority.reset();
    EXPECT_FALSE(std::filesystem::exists(folder));
}

} // namespace
