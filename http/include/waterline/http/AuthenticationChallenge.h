// The challenges of a "WWW-Authenticate" or "Proxy-Authenticate" field: a scheme
// name, then either one token68 blob or a list of name=value parameters, whose values
// are tokens or quoted strings with backslash escapes. One field may carry several
// challenges, and a response may carry several fields (folded into one value with
// ", ", which reads the same).
//
//     auto challenges = AuthenticationChallenge::parseList(R"(Basic realm="a", Digest realm="b", nonce="n")");
//     auto best = AuthenticationChallenge::strongest(challenges);   // the Digest one
//
// Parsing never fails as a whole: a challenge that is malformed is left out, and the
// text after it is read from the next comma on.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace waterline {

struct AuthenticationChallenge {
    std::string scheme;                                            // as written; compare without regard to case
    std::optional<std::string> token68{};                          // the blob of schemes such as NTLM or Negotiate
    std::vector<std::pair<std::string, std::string>> parameters{}; // names as written, values unquoted

    // The value of the first parameter of that name (any case).
    std::optional<std::string> parameter(std::string_view name) const;
    bool isScheme(std::string_view name) const;

    static std::vector<AuthenticationChallenge> parseList(std::string_view fieldValue);

    // Ranks the challenges we can answer, strongest first:
    //   Digest SHA-256 (and -sess) > Digest MD5 (and -sess) > NTLM > Basic.
    // Digest never sends the password and is computed here, without a domain and on
    // any connection; NTLM rests on MD4 of the password and ties the exchange to one
    // connection; Basic sends the password itself. A challenge we cannot answer
    // (another scheme, a Digest without nonce or with an unknown algorithm) ranks 0.
    static int strength(const AuthenticationChallenge& challenge);
    // The strongest answerable challenge; the first of equals. None when no
    // challenge can be answered.
    static std::optional<AuthenticationChallenge> strongest(const std::vector<AuthenticationChallenge>& challenges);
};

} // namespace waterline
