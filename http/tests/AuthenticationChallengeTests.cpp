#include <waterline/http/AuthenticationChallenge.h>

#include <gtest/gtest.h>

namespace waterline {
namespace {

using Parameters = std::vector<std::pair<std::string, std::string>>;

TEST(AuthenticationChallenge, ReadsSchemesParametersAndBlobs)
{
    struct Case {
        const char* text;
        std::vector<AuthenticationChallenge> expected;
    };
    const std::vector<Case> cases = {
        {R"(Basic realm="files")", {{.scheme = "Basic", .parameters = {{"realm", "files"}}}}},
        {R"(Basic realm=files, charset="UTF-8")",
         {{.scheme = "Basic", .parameters = {{"realm", "files"}, {"charset", "UTF-8"}}}}},
        // Several challenges in one field, as two folded fields read.
        {R"(Basic realm="a", Digest realm="b", nonce="n1", qop="auth,auth-int")",
         {{.scheme = "Basic", .parameters = {{"realm", "a"}}},
          {.scheme = "Digest", .parameters = {{"realm", "b"}, {"nonce", "n1"}, {"qop", "auth,auth-int"}}}}},
        // Escapes, and a comma inside quotes that does not end the parameter.
        {R"(Basic realm="say \"hi\", \\ ok")", {{.scheme = "Basic", .parameters = {{"realm", R"(say "hi", \ ok)"}}}}},
        // Blanks around '=' and stray commas.
        {R"(, Basic  realm = "x" ,, NTLM)", {{.scheme = "Basic", .parameters = {{"realm", "x"}}}, {.scheme = "NTLM"}}},
        {"NTLM TlRMTVNTUAACAAAA==, Negotiate",
         {{.scheme = "NTLM", .token68 = "TlRMTVNTUAACAAAA=="}, {.scheme = "Negotiate"}}},
        {"Newauth a=, Basic realm=r",
         {{.scheme = "Newauth", .token68 = "a="}, {.scheme = "Basic", .parameters = {{"realm", "r"}}}}},
        {"", {}},
    };
    for (const auto& [text, expected] : cases) {
        auto parsed = AuthenticationChallenge::parseList(text);
        ASSERT_EQ(parsed.size(), expected.size()) << text;
        for (std::size_t i = 0; i < parsed.size(); ++i) {
            EXPECT_EQ(parsed[i].scheme, expected[i].scheme) << text;
            EXPECT_EQ(parsed[i].token68, expected[i].token68) << text;
            EXPECT_EQ(parsed[i].parameters, expected[i].parameters) << text;
        }
    }
}

TEST(AuthenticationChallenge, LeavesOutMalformedChallengesButKeepsTheRest)
{
    struct Case {
        const char* text;
        std::vector<std::string> schemes;
    };
    const std::vector<Case> cases = {
        {R"(Basic realm="unterminated, Digest realm="b", nonce="n")", {}},
        {R"(Basic realm="a" junk, Digest realm="b", nonce="n")", {"Digest"}},
        {R"(realm="orphan", Basic realm="a")", {"Basic"}},
        {R"(Basic realm="a" "b", NTLM)", {"NTLM"}},
        {"@@@, Basic realm=a", {"Basic"}},
    };
    for (const auto& [text, schemes] : cases) {
        std::vector<std::string> parsed;
        for (const auto& challenge : AuthenticationChallenge::parseList(text))
            parsed.push_back(challenge.scheme);
        EXPECT_EQ(parsed, schemes) << text;
    }
}

TEST(AuthenticationChallenge, ParametersAndSchemesCompareWithoutCase)
{
    auto parsed = AuthenticationChallenge::parseList(R"(dIgEsT REALM="r", Nonce=abc)");
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_TRUE(parsed[0].isScheme("Digest"));
    EXPECT_EQ(parsed[0].parameter("realm"), "r");
    EXPECT_EQ(parsed[0].parameter("nonce"), "abc");
    EXPECT_EQ(parsed[0].parameter("opaque"), std::nullopt);
}

TEST(AuthenticationChallenge, ChoosesTheStrongestSchemeWeCanAnswer)
{
    struct Case {
        const char* text;
        std::optional<std::string> chosen; // scheme, then algorithm when Digest
    };
    const std::vector<Case> cases = {
        {R"(Basic realm="a", NTLM, Digest realm="a", nonce="n", algorithm=MD5, Digest realm="a", nonce="n", algorithm=SHA-256)",
         "Digest SHA-256"},
        {R"(Basic realm="a", Digest realm="a", nonce="n")", "Digest MD5"},
        {R"(Basic realm="a", NTLM)", "NTLM"},
        {R"(Negotiate, Basic realm="a")", "Basic"},
        // A Digest we cannot compute falls back to what we can.
        {R"(Digest realm="a", nonce="n", algorithm=SHA-512-256, Basic realm="a")", "Basic"},
        {R"(Digest realm="a", algorithm=MD5)", std::nullopt},
        {R"(Digest realm="a", nonce="n", qop="auth-conf")", std::nullopt},
        {"Negotiate, Bearer realm=x", std::nullopt},
    };
    for (const auto& [text, chosen] : cases) {
        auto best = AuthenticationChallenge::strongest(AuthenticationChallenge::parseList(text));
        std::optional<std::string> name;
        if (best) {
            name = best->scheme;
            if (best->isScheme("Digest"))
                name->append(" ").append(best->parameter("algorithm").value_or("MD5"));
        }
        EXPECT_EQ(name, chosen) << text;
    }
}

} // namespace
} // namespace waterline
