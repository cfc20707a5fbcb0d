// Digest access authentication computed by us: what a Digest challenge asks for, and
// the "Authorization" (or "Proxy-Authorization") value that answers it. Hashes are
// MD5 or SHA-256, each also in its "-sess" form; the quality of protection is
// "auth", or "auth-int" (the body is hashed in) when the server offers only that, or
// none for a server of the oldest kind that names no qop at all.
//
//     auto digest = DigestChallenge::fromChallenge(challenge);       // none: cannot answer
//     auto value = digestAuthorizationValue(*digest, {.username = "Mufasa", .password = "Circle of Life",
//                                                     .method = "GET", .uri = "/dir/index.html",
//                                                     .cnonce = makeClientNonce(), .nonceCount = 1});
#pragma once

#include <waterline/http/AuthenticationChallenge.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace waterline {

enum class DigestAlgorithm { MD5, MD5Session, SHA256, SHA256Session };
enum class DigestQop { None, Auth, AuthInt };

struct DigestChallenge {
    std::string realm;
    std::string nonce;
    std::optional<std::string> opaque;
    DigestAlgorithm algorithm = DigestAlgorithm::MD5;
    std::string algorithmName = "MD5"; // as the server wrote it, echoed back
    DigestQop qop = DigestQop::None;   // the one we answer with
    bool stale = false;                // the nonce expired; the credentials were fine
    bool userhash = false;             // the user name goes hashed

    // None when the challenge lacks a realm or nonce, names an algorithm we do not
    // have, or offers only qop values we do not know.
    static std::optional<DigestChallenge> fromChallenge(const AuthenticationChallenge& challenge);
    bool usesSHA256() const
    {
        return algorithm == DigestAlgorithm::SHA256 || algorithm == DigestAlgorithm::SHA256Session;
    }
};

struct DigestResponseInput {
    std::string username;
    std::string password;
    std::string method;
    std::string uri; // the request target as sent
    std::string cnonce;
    std::uint32_t nonceCount = 1;
    std::span<const std::uint8_t> entityBody{}; // hashed for auth-int only
};

// The lower-case hex digest of `text` with the algorithm's hash.
std::string digestHash(DigestAlgorithm algorithm, std::string_view text);
// The "response" parameter alone.
std::string digestResponse(const DigestChallenge& challenge, const DigestResponseInput& input);
// "Digest username=..., realm=..., ..., response=...".
std::string digestAuthorizationValue(const DigestChallenge& challenge, const DigestResponseInput& input);
// 16 random bytes from the system's CSPRNG, as 32 hex digits.
std::string makeClientNonce();

} // namespace waterline
