#include <waterline/http/HTTPAuthentication.h>
#include <waterline/http/HTTPRequest.h>

namespace waterline {

namespace {

std::vector<AuthenticationChallenge> challengesIn(const HTTPHeaderFields& fields, const char* fieldName)
{
    auto value = fields.get(fieldName);
    if (!value)
        return {};
    return AuthenticationChallenge::parseList(*value);
}

std::optional<AuthenticationChallenge> challengeOfScheme(const std::vector<AuthenticationChallenge>& challenges,
                                                         std::string_view scheme)
{
    for (const auto& challenge : challenges)
        if (challenge.isScheme(scheme) && AuthenticationChallenge::strength(challenge) > 0)
            return challenge;
    return std::nullopt;
}

} // namespace

HTTPAuthentication::HTTPAuthentication(Target target, AuthenticationChallenge challenge, FailureReason reason)
    : m_target(target)
    , m_challenge(std::move(challenge))
    , m_digest(DigestChallenge::fromChallenge(m_challenge))
    , m_failure(reason)
{
}

const char* HTTPAuthentication::challengeFieldName(Target target)
{
    return target == Target::Server ? "WWW-Authenticate" : "Proxy-Authenticate";
}

const char* HTTPAuthentication::headerName() const
{
    return m_target == Target::Server ? "Authorization" : "Proxy-Authorization";
}

std::shared_ptr<HTTPAuthentication> HTTPAuthentication::createFromResponse(const HTTPHeaderFields& fields,
                                                                           Target target)
{
    auto challenges = challengesIn(fields, challengeFieldName(target));
    if (challenges.empty())
        return nullptr;
    auto best = AuthenticationChallenge::strongest(challenges);
    if (!best)
        return std::shared_ptr<HTTPAuthentication>(
            new HTTPAuthentication(target, challenges.front(), FailureReason::UnsupportedScheme));
    return std::shared_ptr<HTTPAuthentication>(new HTTPAuthentication(target, std::move(*best), FailureReason::None));
}

// The scheme's usual spelling, whatever case the server wrote it in.
std::string HTTPAuthentication::schemeName() const
{
    std::lock_guard guard(m_mutex);
    for (const char* known : {kBasicScheme, kDigestScheme, kNTLMScheme})
        if (m_challenge.isScheme(known))
            return known;
    return m_challenge.scheme;
}

std::optional<std::string> HTTPAuthentication::realm() const
{
    std::lock_guard guard(m_mutex);
    return m_challenge.parameter("realm");
}

bool HTTPAuthentication::requiresAccountDomain() const
{
    std::lock_guard guard(m_mutex);
    return m_challenge.isScheme(kNTLMScheme);
}

bool HTTPAuthentication::requiresUserNameAndPassword() const
{
    std::lock_guard guard(m_mutex);
    return m_challenge.isScheme(kBasicScheme) || m_challenge.isScheme(kDigestScheme)
        || m_challenge.isScheme(kNTLMScheme);
}

bool HTTPAuthentication::isValid() const
{
    return failureReason() == FailureReason::None;
}

HTTPAuthentication::FailureReason HTTPAuthentication::failureReason() const
{
    std::lock_guard guard(m_mutex);
    return m_failure;
}

void HTTPAuthentication::takeNextChallenge(const HTTPHeaderFields& fields)
{
    auto challenges = challengesIn(fields, challengeFieldName(m_target));
    std::lock_guard guard(m_mutex);
    if (m_failure != FailureReason::None)
        return;
    auto same = challengeOfScheme(challenges, m_challenge.scheme);
    if (!same) {
        m_failure = FailureReason::ChallengeChanged;
        return;
    }
    auto digest = DigestChallenge::fromChallenge(*same);
    if (digest && digest->stale) {
        if (digest->nonce != m_digest->nonce)
            m_nonceCount = 0;
        m_challenge = std::move(*same);
        m_digest = std::move(digest);
        return;
    }
    if (m_timesApplied > 0) {
        m_failure = FailureReason::BadPassword;
        return;
    }
    m_challenge = std::move(*same);
    m_digest = std::move(digest);
}

std::string HTTPAuthentication::requestTarget(const AuthenticatedMessage& message) const
{
    if (message.viaProxy && message.url.scheme() == "http")
        return message.url.scheme() + "://" + message.url.hostAndPort() + message.url.pathAndQuery();
    return message.url.pathAndQuery();
}

std::optional<AppliedAuthorization> HTTPAuthentication::apply(const AuthenticationCredentials& credentials,
                                                              const AuthenticatedMessage& message)
{
    std::lock_guard guard(m_mutex);
    if (m_failure != FailureReason::None)
        return std::nullopt;
    AppliedAuthorization applied;
    if (m_challenge.isScheme(kBasicScheme)) {
        applied.headerValue = basicAuthorizationValue(credentials.username, credentials.password);
    } else if (m_challenge.isScheme(kNTLMScheme)) {
        applied.transportCredentials = HTTPTransportCredentials{
            .user = credentials.username, .password = credentials.password, .domain = credentials.domain.value_or("")};
    } else if (m_digest) {
        if (m_digest->qop == DigestQop::AuthInt && !message.body)
            return std::nullopt;
        applied.headerValue
            = digestAuthorizationValue(*m_digest,
                                       {.username = credentials.username,
                                        .password = credentials.password,
                                        .method = message.method,
                                        .uri = requestTarget(message),
                                        .cnonce = makeClientNonce(),
                                        .nonceCount = ++m_nonceCount,
                                        .entityBody = message.body.value_or(std::span<const std::uint8_t>{})});
    } else {
        return std::nullopt;
    }
    ++m_timesApplied;
    return applied;
}

std::string HTTPAuthentication::basicAuthorizationValue(std::string_view username, std::string_view password)
{
    std::string pair = std::string(username) + ":" + std::string(password);
    return "Basic " + HTTPRequest::base64forData({reinterpret_cast<const std::uint8_t*>(pair.data()), pair.size()});
}

} // namespace waterline
