// An authentication object: made from a 401 or 407 response, it knows the scheme we
// answer with (the strongest one offered, see AuthenticationChallenge::strength),
// its realm, what credentials it needs, and whether it is still worth answering.
// Applying credentials turns them into what the next attempt sends: an
// "Authorization" / "Proxy-Authorization" value computed here (Basic, Digest), or
// credentials the transport uses itself within one attempt on one connection (NTLM).
//
// The object follows the challenges that answer its credentials: the same challenge
// again means they were rejected (invalid, bad password); a Digest challenge marked
// stale only renews the nonce and stays valid. Session records share objects across
// requests and threads, so every operation is thread-safe.
#pragma once

#include <waterline/http/AuthenticationChallenge.h>
#include <waterline/http/DigestAuthentication.h>
#include <waterline/http/HTTPHeaderFields.h>
#include <waterline/http/HTTPTransport.h>
#include <waterline/http/URL.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

namespace waterline {

// The credentials dictionary: a user name, a password and, for schemes that need
// one, an account domain. Session records hold them by shared pointer, and that
// pointer is their identity.
struct AuthenticationCredentials {
    std::string username;
    std::string password;
    std::optional<std::string> domain{};
};
using CredentialsPtr = std::shared_ptr<const AuthenticationCredentials>;

// What credentials are applied to: the message of the next attempt.
struct AuthenticatedMessage {
    std::string method;
    URL url;
    bool viaProxy = false; // an http: URL through a proxy is sent in absolute form
    // The body as sent, when it is in memory (auth-int hashes it); none when it is
    // streamed from a file.
    std::optional<std::span<const std::uint8_t>> body{};
};

// What applying produced: a header to set, or credentials for the transport.
struct AppliedAuthorization {
    std::optional<std::string> headerValue;
    std::optional<HTTPTransportCredentials> transportCredentials;
};

class HTTPAuthentication {
public:
    enum class Target { Server, Proxy };
    // The numbers of the platform's HTTP error domain for a rejected user name or
    // password, so callers can compare with what they know.
    enum class FailureReason {
        None = 0,
        BadUserName = -1001,
        BadPassword = -1002,
        UnsupportedScheme = -1003, // nothing offered that we can answer
        ChallengeChanged = -1004,  // the scheme we answered is no longer offered
    };

    static constexpr const char* kBasicScheme = "Basic";
    static constexpr const char* kDigestScheme = "Digest";
    static constexpr const char* kNTLMScheme = "NTLM";

    // None when the response holds no challenge at all. A response whose challenges
    // are all of schemes we cannot answer gives an invalid object (UnsupportedScheme)
    // named after the first of them.
    static std::shared_ptr<HTTPAuthentication> createFromResponse(const HTTPHeaderFields& fields, Target target);

    Target target() const { return m_target; }
    std::string schemeName() const;
    std::optional<std::string> realm() const;
    bool requiresAccountDomain() const;
    bool requiresUserNameAndPassword() const;
    bool isValid() const;
    FailureReason failureReason() const;
    // "Authorization" or "Proxy-Authorization".
    const char* headerName() const;

    // A later challenge of the same target, answering what was applied with this
    // object; updates validity as described above.
    void takeNextChallenge(const HTTPHeaderFields& fields);

    // None when the object is invalid, or the credentials cannot be expressed
    // (auth-int without the body in memory).
    std::optional<AppliedAuthorization> apply(const AuthenticationCredentials& credentials,
                                              const AuthenticatedMessage& message);

    // "Basic " and the Base64 of user:password.
    static std::string basicAuthorizationValue(std::string_view username, std::string_view password);

private:
    HTTPAuthentication(Target target, AuthenticationChallenge challenge, FailureReason reason);
    static const char* challengeFieldName(Target target);
    std::string requestTarget(const AuthenticatedMessage& message) const;

    const Target m_target;
    mutable std::mutex m_mutex; // guards everything below
    AuthenticationChallenge m_challenge;
    std::optional<DigestChallenge> m_digest;
    FailureReason m_failure;
    int m_timesApplied = 0;
    std::uint32_t m_nonceCount = 0; // per nonce: back to 0 when the nonce changes
};

} // namespace waterline
