// The authentication object: what it answers with, and how it follows the challenges
// that come back.
#include <waterline/http/HTTPAuthentication.h>

#include <gtest/gtest.h>

namespace waterline {
namespace {

using Reason = HTTPAuthentication::FailureReason;
using Target = HTTPAuthentication::Target;

HTTPHeaderFields challengeFields(const std::string& value, const char* name = "WWW-Authenticate")
{
    HTTPHeaderFields fields;
    fields.set(name, value);
    return fields;
}

AuthenticatedMessage getMessage(std::string path = "/private/a?b=1")
{
    return {
        .method = "GET", .url = *URL::parse("http://127.0.0.1:8080" + path), .body = std::span<const std::uint8_t>()};
}

const AuthenticationCredentials kAladdin{.username = "Aladdin", .password = "open sesame"};

std::string parameterOf(const std::string& header, const std::string& name)
{
    auto challenges = AuthenticationChallenge::parseList(header);
    return challenges.empty() ? std::string() : challenges[0].parameter(name).value_or("");
}

TEST(HTTPAuthentication, IsMadeOnlyFromAChallengeOfItsTarget)
{
    EXPECT_FALSE(HTTPAuthentication::createFromResponse({}, Target::Server));
    EXPECT_FALSE(HTTPAuthentication::createFromResponse(challengeFields("Basic realm=x"), Target::Proxy));

    auto proxy
        = HTTPAuthentication::createFromResponse(challengeFields("Basic realm=x", "Proxy-Authenticate"), Target::Proxy);
    ASSERT_TRUE(proxy);
    EXPECT_STREQ(proxy->headerName(), "Proxy-Authorization");

    auto unsupported = HTTPAuthentication::createFromResponse(challengeFields("Negotiate, Bearer"), Target::Server);
    ASSERT_TRUE(unsupported);
    EXPECT_EQ(unsupported->schemeName(), "Negotiate");
    EXPECT_EQ(unsupported->failureReason(), Reason::UnsupportedScheme);
    EXPECT_FALSE(unsupported->apply(kAladdin, getMessage()));
}

TEST(HTTPAuthentication, BasicIsRejectedWhenTheSameChallengeAnswersIt)
{
    auto basic = HTTPAuthentication::createFromResponse(challengeFields(R"(basic realm="files")"), Target::Server);
    ASSERT_TRUE(basic);
    EXPECT_EQ(basic->schemeName(), "Basic");
    EXPECT_EQ(basic->realm(), "files");
    EXPECT_FALSE(basic->requiresAccountDomain());
    EXPECT_TRUE(basic->requiresUserNameAndPassword());

    // A second challenge before anything was applied changes nothing.
    basic->takeNextChallenge(challengeFields(R"(Basic realm="files")"));
    ASSERT_TRUE(basic->isValid());
    auto applied = basic->apply(kAladdin, getMessage());
    ASSERT_TRUE(applied);
    EXPECT_EQ(applied->headerValue, "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");

    basic->takeNextChallenge(challengeFields(R"(Basic realm="files")"));
    EXPECT_EQ(basic->failureReason(), Reason::BadPassword);
    EXPECT_FALSE(basic->apply(kAladdin, getMessage()));
}

TEST(HTTPAuthentication, DigestCountsPerNonceAndSurvivesAStaleNonce)
{
    auto digest = HTTPAuthentication::createFromResponse(
        challengeFields(R"(Digest realm="r", nonce="n1", qop="auth", opaque="o")"), Target::Server);
    ASSERT_TRUE(digest);
    auto first = digest->apply(kAladdin, getMessage());
    auto second = digest->apply(kAladdin, getMessage());
    ASSERT_TRUE(first && second);
    EXPECT_EQ(parameterOf(*first->headerValue, "nc"), "00000001");
    EXPECT_EQ(parameterOf(*second->headerValue, "nc"), "00000002");
    EXPECT_NE(parameterOf(*first->headerValue, "cnonce"), parameterOf(*second->headerValue, "cnonce"));
    EXPECT_EQ(parameterOf(*first->headerValue, "uri"), "/private/a?b=1");
    EXPECT_EQ(parameterOf(*first->headerValue, "opaque"), "o");

    digest->takeNextChallenge(challengeFields(R"(Digest realm="r", nonce="n2", qop="auth", stale=true)"));
    ASSERT_TRUE(digest->isValid());
    auto renewed = digest->apply(kAladdin, getMessage());
    ASSERT_TRUE(renewed);
    EXPECT_EQ(parameterOf(*renewed->headerValue, "nonce"), "n2");
    EXPECT_EQ(parameterOf(*renewed->headerValue, "nc"), "00000001");

    digest->takeNextChallenge(challengeFields(R"(Digest realm="r", nonce="n3", qop="auth")"));
    EXPECT_EQ(digest->failureReason(), Reason::BadPassword);
}

TEST(HTTPAuthentication, AChallengeOfAnotherSchemeEndsTheObject)
{
    auto digest
        = HTTPAuthentication::createFromResponse(challengeFields(R"(Digest realm="r", nonce="n1")"), Target::Server);
    ASSERT_TRUE(digest);
    ASSERT_TRUE(digest->apply(kAladdin, getMessage()));
    digest->takeNextChallenge(challengeFields(R"(Basic realm="r")"));
    EXPECT_EQ(digest->failureReason(), Reason::ChallengeChanged);
}

TEST(HTTPAuthentication, IntegrityProtectionNeedsTheBodyInMemory)
{
    auto digest = HTTPAuthentication::createFromResponse(
        challengeFields(R"(Digest realm="r", nonce="n", qop="auth-int")"), Target::Server);
    ASSERT_TRUE(digest);
    auto streamed = getMessage();
    streamed.body.reset();
    EXPECT_FALSE(digest->apply(kAladdin, streamed));
    EXPECT_TRUE(digest->apply(kAladdin, getMessage()));
}

TEST(HTTPAuthentication, ProxyDigestNamesTheAbsoluteTargetAndNTLMGoesToTheTransport)
{
    auto digest = HTTPAuthentication::createFromResponse(
        challengeFields(R"(Digest realm="r", nonce="n")", "Proxy-Authenticate"), Target::Proxy);
    ASSERT_TRUE(digest);
    auto message = getMessage("/p");
    message.viaProxy = true;
    auto applied = digest->apply(kAladdin, message);
    ASSERT_TRUE(applied);
    EXPECT_EQ(parameterOf(*applied->headerValue, "uri"), "http://127.0.0.1:8080/p");

    auto ntlm = HTTPAuthentication::createFromResponse(challengeFields("NTLM"), Target::Server);
    ASSERT_TRUE(ntlm);
    EXPECT_TRUE(ntlm->requiresAccountDomain());
    auto credentials = kAladdin;
    credentials.domain = "CAVE";
    auto handed = ntlm->apply(credentials, getMessage());
    ASSERT_TRUE(handed && handed->transportCredentials);
    EXPECT_FALSE(handed->headerValue);
    EXPECT_EQ(handed->transportCredentials->user, "Aladdin");
    EXPECT_EQ(handed->transportCredentials->domain, "CAVE");
}

} // namespace
} // namespace waterline
