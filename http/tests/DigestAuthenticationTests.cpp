// Digest answers checked against the published example of the Digest standard and
// against values computed independently (a separate hash tool) for the variants the
// example does not cover.
#include <waterline/http/DigestAuthentication.h>

#include <gtest/gtest.h>

#include <set>

namespace waterline {
namespace {

constexpr const char* kNonce = "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v";
constexpr const char* kClientNonce = "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ";

DigestChallenge exampleChallenge(const std::string& algorithm, const std::string& qop = "auth, auth-int")
{
    std::string text = R"(Digest realm="http-auth@example.org", nonce=")" + std::string(kNonce)
        + R"(", opaque="FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS", algorithm=)" + algorithm;
    if (!qop.empty())
        text += R"(, qop=")" + qop + "\"";
    auto parsed = AuthenticationChallenge::parseList(text);
    auto digest = DigestChallenge::fromChallenge(parsed.at(0));
    if (!digest)
        throw std::runtime_error("example challenge not understood");
    return *digest;
}

DigestResponseInput mufasa(std::uint32_t count = 1)
{
    return {.username = "Mufasa",
            .password = "Circle of Life",
            .method = "GET",
            .uri = "/dir/index.html",
            .cnonce = kClientNonce,
            .nonceCount = count};
}

TEST(DigestAuthentication, ComputesTheResponsesOfThePublishedExample)
{
    EXPECT_EQ(digestResponse(exampleChallenge("MD5"), mufasa()), "8ca523f5e9506fed4657c9700eebdbec");
    EXPECT_EQ(digestResponse(exampleChallenge("SHA-256"), mufasa()),
              "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1");
}

TEST(DigestAuthentication, ComputesSessionIntegrityAndLegacyVariants)
{
    EXPECT_EQ(digestResponse(exampleChallenge("MD5-sess"), mufasa(2)), "6914b51e16f9459d9abc967ad41c4599");
    EXPECT_EQ(digestResponse(exampleChallenge("MD5", ""), mufasa()), "7b2cc3b30e75b4777ea31027084363fd");

    auto integrity = exampleChallenge("SHA-256", "auth-int");
    EXPECT_EQ(integrity.qop, DigestQop::AuthInt);
    std::string body = "hello";
    auto input = mufasa();
    input.method = "POST";
    input.entityBody = {reinterpret_cast<const std::uint8_t*>(body.data()), body.size()};
    EXPECT_EQ(digestResponse(integrity, input), "c98b95dbdb463c4483e324bced57d591946a6f84098142757b1333c52c47d62e");
}

TEST(DigestAuthentication, WritesEveryParameterTheServerNeeds)
{
    auto value = digestAuthorizationValue(exampleChallenge("SHA-256"), mufasa());
    EXPECT_EQ(value,
              R"(Digest username="Mufasa", realm="http-auth@example.org", nonce=")" + std::string(kNonce)
                  + R"(", uri="/dir/index.html", algorithm=SHA-256, qop=auth, nc=00000001, cnonce=")" + kClientNonce
                  + R"(", response="753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1", )"
                    R"(opaque="FQhe/qaU925kfnzjCev0ciny7QMkPqMAFRtzCUYo5tdS")");

    auto hashed = exampleChallenge("SHA-256");
    hashed.userhash = true;
    auto withHash = digestAuthorizationValue(hashed, mufasa());
    EXPECT_NE(withHash.find(R"(username="a947aad205e80e429958a387394944c6b496301e79f89d35a4cc23b6ee12b5b6")"),
              std::string::npos);
    EXPECT_NE(withHash.find(", userhash=true"), std::string::npos);

    // Quotes and backslashes in a user name cannot end the quoted string early.
    auto input = mufasa();
    input.username = R"(a"b\c)";
    EXPECT_NE(digestAuthorizationValue(exampleChallenge("MD5"), input).find(R"(username="a\"b\\c")"),
              std::string::npos);
}

TEST(DigestAuthentication, ReadsStaleAndRefusesWhatItCannotAnswer)
{
    auto stale = AuthenticationChallenge::parseList(R"(Digest realm="r", nonce="n2", stale=TRUE)");
    ASSERT_TRUE(DigestChallenge::fromChallenge(stale.at(0)));
    EXPECT_TRUE(DigestChallenge::fromChallenge(stale.at(0))->stale);
    for (const char* text : {R"(Digest nonce="n")", R"(Digest realm="r")",
                             R"(Digest realm="r", nonce="n", algorithm=SHA-1)", R"(Basic realm="r", nonce="n")"})
        EXPECT_FALSE(DigestChallenge::fromChallenge(AuthenticationChallenge::parseList(text).at(0))) << text;
}

TEST(DigestAuthentication, ClientNoncesAreFreshRandomHex)
{
    std::set<std::string> seen;
    for (int i = 0; i < 64; ++i) {
        auto nonce = makeClientNonce();
        EXPECT_EQ(nonce.size(), 32u);
        EXPECT_EQ(nonce.find_first_not_of("0123456789abcdef"), std::string::npos);
        seen.insert(nonce);
    }
    EXPECT_EQ(seen.size(), 64u);
}

} // namespace
} // namespace waterline
