// What answering a challenge costs the client, per attempt: a Basic header (the
// baseline every other row is read against), a Digest answer in MD5 and SHA-256
// (hashes plus a fresh client nonce from the CSPRNG), and the bare OpenSSL work a
// Digest answer cannot avoid (three hashes, 16 random bytes) as its lower bound.
// Parsing a field with several challenges is the last row.
#include <waterline/http/HTTPAuthentication.h>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>

namespace waterline {
namespace {

const AuthenticationCredentials kCredentials{.username = "Mufasa", .password = "Circle of Life"};

AuthenticatedMessage message()
{
    return {.method = "GET",
            .url = *URL::parse("http://127.0.0.1:8080/dir/index.html"),
            .body = std::span<const std::uint8_t>()};
}

std::shared_ptr<HTTPAuthentication> digestFor(const char* algorithm)
{
    HTTPHeaderFields fields;
    fields.set(
        "WWW-Authenticate",
        std::string(
            R"(Digest realm="http-auth@example.org", qop="auth", nonce="7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", opaque="FQhe", algorithm=)")
            + algorithm);
    return HTTPAuthentication::createFromResponse(fields, HTTPAuthentication::Target::Server);
}

void basicHeader(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(
            HTTPAuthentication::basicAuthorizationValue(kCredentials.username, kCredentials.password));
}
BENCHMARK(basicHeader);

void digestAnswer(benchmark::State& state, const char* algorithm)
{
    auto digest = digestFor(algorithm);
    auto target = message();
    for (auto _ : state)
        benchmark::DoNotOptimize(digest->apply(kCredentials, target));
}
BENCHMARK_CAPTURE(digestAnswer, MD5, "MD5");
BENCHMARK_CAPTURE(digestAnswer, SHA256, "SHA-256");

// The floor under a SHA-256 Digest answer: three short hashes and 16 random bytes.
void opensslFloorSHA256(benchmark::State& state)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> out{};
    std::array<unsigned char, 16> nonce{};
    const std::string text = "Mufasa:http-auth@example.org:Circle of Life:0123456789abcdef0123456789abcdef";
    unsigned int length = 0;
    for (auto _ : state) {
        RAND_bytes(nonce.data(), static_cast<int>(nonce.size()));
        for (int i = 0; i < 3; ++i)
            EVP_Digest(text.data(), text.size(), out.data(), &length, EVP_sha256(), nullptr);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(opensslFloorSHA256);

void parseChallenges(benchmark::State& state)
{
    const std::string field
        = R"(Negotiate, NTLM, Basic realm="files", Digest realm="vault", qop="auth,auth-int", )"
          R"(algorithm=SHA-256, nonce="7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", opaque="FQhe")";
    for (auto _ : state)
        benchmark::DoNotOptimize(AuthenticationChallenge::strongest(AuthenticationChallenge::parseList(field)));
}
BENCHMARK(parseChallenges);

} // namespace
} // namespace waterline

BENCHMARK_MAIN();
