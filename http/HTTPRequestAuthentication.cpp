// Answering server and proxy challenges: the sources of credentials, the session
// stores and the hand-off with whoever is asked on the main thread.
//
// Lock order: cancelledLock, then the delegate authentication lock, then the session
// credential lock. A worker that waits for an answer from the main thread holds
// cancelledLock (the wait happens inside a network event); cancel() therefore first
// answers a pending hand-off as cancelled, and a worker waiting for its turn to ask
// gives up once cancel() has been requested.
#include <waterline/foundation/Guarded.h>
#include <waterline/foundation/MainThread.h>
#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/CookieStorage.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/PersistentCredentialStore.h>

#include <waterline/base64/Base64.h>

#include <algorithm>
#include <chrono>
#include <mutex>

namespace waterline {

namespace {

// Conditions of the per-attempt hand-off lock.
constexpr int kNoExchangePending = 1;
constexpr int kAnswered = 2;
constexpr int kAwaitingAnswer = 3; // the worker has asked and waits

using Target = HTTPAuthentication::Target;

// One request at a time asks for credentials; recursive, since answering a challenge
// may run the same steps again while holding it.
std::recursive_timed_mutex& delegateAuthenticationLock()
{
    static auto* lock = new std::recursive_timed_mutex;
    return *lock;
}

struct SessionStores {
    std::vector<SessionCredentialRecord> servers;
    std::vector<SessionCredentialRecord> proxies;
};

Guarded<SessionStores, std::recursive_mutex>& sessionStores()
{
    static auto* stores = new Guarded<SessionStores, std::recursive_mutex>;
    return *stores;
}

Guarded<std::vector<Cookie>, std::recursive_mutex>& sessionCookieList()
{
    static auto* cookies = new Guarded<std::vector<Cookie>, std::recursive_mutex>;
    return *cookies;
}

void removeRecordHolding(std::vector<SessionCredentialRecord>& records, const CredentialsPtr& credentials)
{
    auto found = std::find_if(records.begin(), records.end(),
                              [&](const auto& record) { return record.Credentials == credentials; });
    if (found != records.end())
        records.erase(found);
}

void storeRecord(std::vector<SessionCredentialRecord>& records, SessionCredentialRecord record)
{
    std::erase_if(records, [&](const auto& stored) { return stored.Credentials == record.Credentials; });
    records.push_back(std::move(record));
}

// Holds the delegate authentication lock for a scope; waiting for it ends early when
// the request is being cancelled.
class AskingTurn {
public:
    explicit AskingTurn(const std::function<bool()>& cancelled)
        : m_lock(delegateAuthenticationLock(), std::defer_lock)
    {
        using namespace std::chrono_literals;
        while (!cancelled())
            if (m_lock.try_lock_for(50ms))
                return;
    }
    explicit operator bool() const { return m_lock.owns_lock(); }

private:
    std::unique_lock<std::recursive_timed_mutex> m_lock;
};

ErrorPtr credentialApplicationError(Target target)
{
    return HTTPRequestErrors::make(HTTPRequestErrorCode::CredentialApplicationFailure,
                                   target == Target::Proxy ? "Failed to apply proxy credentials to request"
                                                           : "Failed to apply credentials to request");
}

int portOrZero(const URL& url)
{
    return url.port() ? *url.port() : 0;
}

ProtectionSpace serverSpace(const std::string& host, int port, const std::string& protocol, const std::string& realm)
{
    return {.kind = ProtectionSpace::Kind::Server, .host = host, .port = port, .scheme = protocol, .realm = realm};
}

ProtectionSpace proxySpace(const std::string& host, int port, const std::string& realm)
{
    return {.kind = ProtectionSpace::Kind::HTTPProxy, .host = host, .port = port, .scheme = "", .realm = realm};
}

// None unless both the user name and the password are there.
CredentialsPtr makeCredentials(std::optional<std::string> user, std::optional<std::string> password,
                               std::optional<std::string> domain)
{
    if (!user || !password)
        return nullptr;
    return std::make_shared<const AuthenticationCredentials>(AuthenticationCredentials{
        .username = std::move(*user), .password = std::move(*password), .domain = std::move(domain)});
}

bool isNTLM(const std::string& scheme)
{
    return scheme == HTTPAuthentication::kNTLMScheme;
}

} // namespace

// ---- pre-emptive credentials ----

void HTTPRequest::applyAuthorizationHeader()
{
    if (!shouldPresentCredentialsBeforeChallenge())
        return;
    std::optional<SessionCredentialRecord> record;
    if (useSessionPersistance())
        record = findSessionAuthenticationCredentials();
    auto user = username(), secret = password();
    if (user && secret && !domain()) {
        if (!record || record->AuthenticationScheme == HTTPAuthentication::kBasicScheme)
            addBasicAuthenticationHeaderWithUsername(*user, *secret);
    }
    auto headers = requestHeaders();
    if (record && !(headers && headers->contains("Authorization"))) {
        if (!record->Authentication)
            addBasicAuthenticationHeaderWithUsername(record->Credentials->username, record->Credentials->password);
        else if (!applyWith(*record->Authentication, *record->Credentials))
            removeAuthenticationCredentialsFromSessionStore(record->Credentials);
    }
    if (!useSessionPersistance())
        return;
    if (auto proxyRecord = findSessionProxyAuthenticationCredentials()) {
        if (!proxyRecord->Authentication || !applyWith(*proxyRecord->Authentication, *proxyRecord->Credentials))
            removeProxyAuthenticationCredentialsFromSessionStore(proxyRecord->Credentials);
    }
}

void HTTPRequest::addBasicAuthenticationHeaderWithUsername(const std::string& username, const std::string& password)
{
    (void)addRequestHeader("Authorization", HTTPAuthentication::basicAuthorizationValue(username, password));
}

std::string HTTPRequest::base64forData(std::span<const std::uint8_t> data)
{
    return Base64::stringByEncodingBytes(data).value_or(std::string());
}

// A response other than a challenge, after the caller's user name and password went
// out pre-emptively as Basic: they become a Basic session record for the URL.
void HTTPRequest::notePreemptiveBasicSuccess()
{
    auto user = username(), secret = password();
    auto target = url();
    if (m_requestAuthentication.get() || !user || !secret || !target || !useSessionPersistance())
        return;
    auto headers = requestHeaders();
    auto sent = headers ? headers->get("Authorization") : std::nullopt;
    if (sent != HTTPAuthentication::basicAuthorizationValue(*user, *secret))
        return; // not what was sent (a domain was set, or another scheme answered)
    storeAuthenticationCredentialsInSessionStore(
        {.Credentials = std::make_shared<const AuthenticationCredentials>(
             AuthenticationCredentials{.username = *user, .password = *secret}),
         .URL = target,
         .AuthenticationScheme = HTTPAuthentication::kBasicScheme});
}

// ---- answering a challenge ----

void HTTPRequest::attemptToApplyCredentialsAndResume()
{
    if (error() || cancelRequested())
        return;
    if (needsProxyAuthentication()) {
        attemptToApplyProxyCredentialsAndResume();
        return;
    }
    attemptToApplyCredentialsAndResume(ChallengeTarget::Server);
}

void HTTPRequest::attemptToApplyProxyCredentialsAndResume()
{
    attemptToApplyCredentialsAndResume(ChallengeTarget::Proxy);
}

void HTTPRequest::attemptToApplyCredentialsAndResume(ChallengeTarget side)
{
    if (error() || cancelRequested())
        return;
    bool proxy = side == ChallengeTarget::Proxy;
    Target target = proxy ? Target::Proxy : Target::Server;
    auto& authenticationField = proxy ? m_proxyAuthentication : m_requestAuthentication;
    // Headers present: a new response is being answered (a repeated call for the same
    // one, after asking, comes once the attempt is closed).
    auto newResponse = responseHeaders();
    if (newResponse)
        m_challengeHeaders = newResponse;
    auto authentication = authenticationField.get();
    if (!authentication) {
        if (m_challengeHeaders)
            authentication = HTTPAuthentication::createFromResponse(*m_challengeHeaders, target);
        if (!authentication) {
            cancelLoad();
            failWithError(HTTPRequestErrors::make(HTTPRequestErrorCode::CredentialApplicationFailure,
                                                  "Failed to get authentication object from response headers"));
            return;
        }
        authenticationField.set(authentication);
        (proxy ? m_proxyAuthenticationScheme : m_authenticationScheme).set(authentication->schemeName());
    } else if (newResponse) {
        authentication->takeNextChallenge(*newResponse);
    }
    auto& realmField = proxy ? m_proxyAuthenticationRealm : m_authenticationRealm;
    realmField.set(std::nullopt);
    if (!authentication->requiresAccountDomain())
        realmField.set(authentication->realm());

    cancelLoad(); // the body file survives: a challenge is in progress
    if (authentication->isValid())
        answerValidChallenge(side, *authentication);
    else
        answerRejectedChallenge(side, *authentication);
}

void HTTPRequest::answerValidChallenge(ChallengeTarget side, HTTPAuthentication& authentication)
{
    bool proxy = side == ChallengeTarget::Proxy;
    Target target = proxy ? Target::Proxy : Target::Server;
    if (auto applied = (proxy ? m_proxyCredentials : m_requestCredentials).get()) {
        int retries = (proxy ? m_proxyAuthenticationRetryCount : m_authenticationRetryCount).get();
        bool ntlm = isNTLM(authentication.schemeName());
        if (!(ntlm && retries > 1) && applyCredentials(side, applied)) {
            startRequest();
            return;
        }
        failWithError(ntlm && retries == 2 ? HTTPRequestErrors::authenticationNeeded()
                                           : credentialApplicationError(target));
        return;
    }
    // Nothing we could ask for would answer it; the attempt is already closed, so
    // waiting would only end in the time-out.
    if (!authentication.requiresUserNameAndPassword()) {
        failWithError(HTTPRequestErrors::authenticationNeeded());
        return;
    }
    AskingTurn turn([this] { return cancelRequested(); });
    if (!turn || error() || cancelRequested())
        return;
    if (applySessionRecord(side))
        return;
    if (auto found = proxy ? findProxyCredentials() : findCredentials()) {
        if (applyCredentials(side, found))
            startRequest();
        else
            failWithError(credentialApplicationError(target));
        return;
    }
    askAndRetry(side);
}

void HTTPRequest::answerRejectedChallenge(ChallengeTarget side, HTTPAuthentication& authentication)
{
    bool proxy = side == ChallengeTarget::Proxy;
    auto reason = authentication.failureReason();
    // A new object is made from this very challenge, for whatever answers it next.
    auto& authenticationField = proxy ? m_proxyAuthentication : m_requestAuthentication;
    authenticationField.set(
        HTTPAuthentication::createFromResponse(*m_challengeHeaders, proxy ? Target::Proxy : Target::Server));
    if (reason != HTTPAuthentication::FailureReason::BadUserName
        && reason != HTTPAuthentication::FailureReason::BadPassword) {
        failWithError(HTTPRequestErrors::authenticationNeeded());
        return;
    }
    AskingTurn turn([this] { return cancelRequested(); });
    if (!turn)
        return;
    auto& credentialsField = proxy ? m_proxyCredentials : m_requestCredentials;
    if (auto rejected = credentialsField.get()) {
        if (proxy)
            removeProxyAuthenticationCredentialsFromSessionStore(rejected);
        else
            removeAuthenticationCredentialsFromSessionStore(rejected);
    }
    credentialsField.set(nullptr);
    if (error() || cancelRequested())
        return;
    if (applySessionRecord(side))
        return;
    m_lastActivityTime.reset();
    askAndRetry(side);
}

// A record another request stored (perhaps while this one waited for its turn).
bool HTTPRequest::applySessionRecord(ChallengeTarget side)
{
    if (!useSessionPersistance())
        return false;
    auto record = side == ChallengeTarget::Proxy ? findSessionProxyAuthenticationCredentials()
                                                 : findSessionAuthenticationCredentials();
    if (!record || !applyCredentials(side, record->Credentials))
        return false;
    startRequest();
    return true;
}

// The delegate (or queue), else the dialog; with an answer the challenge is taken up
// again with what was supplied.
void HTTPRequest::askAndRetry(ChallengeTarget side)
{
    bool proxy = side == ChallengeTarget::Proxy;
    bool answered = proxy ? askDelegateForProxyCredentials() : askDelegateForCredentials();
    // A delegate that declined has failed the request; no dialog after it.
    if (!answered && !error() && !cancelRequested())
        answered = proxy ? showProxyAuthenticationDialog() : showAuthenticationDialog();
    if (answered) {
        attemptToApplyCredentialsAndResume(side);
        return;
    }
    if (!cancelRequested())
        failWithError(HTTPRequestErrors::authenticationNeeded());
}

// ---- applying credentials ----

bool HTTPRequest::applyCredentials(CredentialsPtr credentials)
{
    return applyCredentials(ChallengeTarget::Server, std::move(credentials));
}

bool HTTPRequest::applyProxyCredentials(CredentialsPtr credentials)
{
    return applyCredentials(ChallengeTarget::Proxy, std::move(credentials));
}

bool HTTPRequest::applyCredentials(ChallengeTarget side, CredentialsPtr credentials)
{
    bool proxy = side == ChallengeTarget::Proxy;
    (proxy ? m_proxyAuthenticationRetryCount : m_authenticationRetryCount).add(1);
    auto authentication = (proxy ? m_proxyAuthentication : m_requestAuthentication).get();
    auto target = url();
    if (!credentials || !authentication || !target)
        return false;
    if (!applyWith(*authentication, *credentials)) {
        if (proxy)
            removeProxyAuthenticationCredentialsFromSessionStore(credentials);
        else
            removeAuthenticationCredentialsFromSessionStore(credentials);
        return false;
    }
    if (useKeychainPersistance()) {
        if (proxy)
            saveProxyCredentialsToKeychain(*credentials);
        else
            saveCredentialsToKeychain(*credentials);
    }
    if (useSessionPersistance()) {
        if (proxy)
            storeProxyAuthenticationCredentialsInSessionStore({.Credentials = credentials,
                                                               .Authentication = authentication,
                                                               .Host = proxyHost(),
                                                               .Port = proxyPort(),
                                                               .AuthenticationScheme = authentication->schemeName()});
        else
            storeAuthenticationCredentialsInSessionStore({.Credentials = credentials,
                                                          .Authentication = authentication,
                                                          .URL = target,
                                                          .AuthenticationScheme = authentication->schemeName(),
                                                          .AuthenticationRealm = authenticationRealm()});
    }
    (proxy ? m_proxyCredentials : m_requestCredentials).set(credentials);
    return true;
}

// Writes what `authentication` makes of the credentials into the next attempt: a
// header, or NTLM credentials for the transport.
bool HTTPRequest::applyWith(HTTPAuthentication& authentication, const AuthenticationCredentials& credentials)
{
    auto target = url();
    if (!target)
        return false;
    auto body = postBody();
    AuthenticatedMessage message{.method = requestMethod(), .url = *target, .viaProxy = proxyHost().has_value()};
    if (!shouldStreamPostDataFromDisk() && !shouldCompressRequestBody())
        message.body = body ? std::span<const std::uint8_t>(*body) : std::span<const std::uint8_t>();
    auto applied = authentication.apply(credentials, message);
    if (!applied)
        return false;
    // One way of answering per target: a header from an earlier scheme would go out
    // beside the transport's own, and the transport's beside a header.
    bool proxy = authentication.target() == Target::Proxy;
    (proxy ? m_proxyNTLMCredentials : m_serverNTLMCredentials).set(applied->transportCredentials);
    if (applied->headerValue)
        (void)addRequestHeader(authentication.headerName(), *applied->headerValue);
    else
        m_requestHeaders.modify([&](std::optional<HTTPHeaderFields>& headers) {
            if (headers)
                headers->remove(authentication.headerName());
        });
    return true;
}

// ---- where credentials come from ----

CredentialsPtr HTTPRequest::findCredentials()
{
    auto target = url();
    if (!target)
        return nullptr;
    auto domain = accountDomainFor(ChallengeTarget::Server);
    if (auto fromURL = makeCredentials(target->user(), target->password(), domain))
        return fromURL;
    if (auto fromFields = credentialsFromFields(ChallengeTarget::Server, domain))
        return fromFields;
    if (!useKeychainPersistance())
        return nullptr;
    auto saved = savedCredentialsForHost(target->host(), portOrZero(*target), target->scheme(),
                                         authenticationRealm().value_or(""));
    return saved ? makeCredentials(saved->user, saved->password, domain) : nullptr;
}

// The persistent store is asked for proxies whatever useKeychainPersistance says.
CredentialsPtr HTTPRequest::findProxyCredentials()
{
    auto domain = accountDomainFor(ChallengeTarget::Proxy);
    if (auto fromFields = credentialsFromFields(ChallengeTarget::Proxy, domain))
        return fromFields;
    auto saved = savedCredentialsForProxy(proxyHost().value_or(""), proxyPort(), "http",
                                          proxyAuthenticationRealm().value_or(""));
    return saved ? makeCredentials(saved->user, saved->password, domain) : nullptr;
}

// The account domain when the scheme needs one: the field, set to "" when empty.
std::optional<std::string> HTTPRequest::accountDomainFor(ChallengeTarget side)
{
    bool proxy = side == ChallengeTarget::Proxy;
    auto authentication = (proxy ? m_proxyAuthentication : m_requestAuthentication).get();
    if (!authentication || !authentication->requiresAccountDomain())
        return std::nullopt;
    auto& field = proxy ? m_proxyDomain : m_domain;
    if (!field.get())
        field.set(std::string());
    return field.get();
}

// A size probe takes its main request's user name and password when that has both;
// else the request's own.
CredentialsPtr HTTPRequest::credentialsFromFields(ChallengeTarget side, const std::optional<std::string>& domain)
{
    bool proxy = side == ChallengeTarget::Proxy;
    auto fromFieldsOf = [&](const HTTPRequest& request) {
        return proxy ? makeCredentials(request.proxyUsername(), request.proxyPassword(), domain)
                     : makeCredentials(request.username(), request.password(), domain);
    };
    auto main = mainRequest();
    if (m_isSizeProbe && main)
        if (auto fromMain = fromFieldsOf(*main))
            return fromMain;
    return fromFieldsOf(*this);
}

// A record for this URL first, then one for the same origin; a record with a realm
// must name the realm of the challenge (once there was a response).
std::optional<SessionCredentialRecord> HTTPRequest::findSessionAuthenticationCredentials()
{
    auto target = url();
    if (!target)
        return std::nullopt;
    auto realm = authenticationRealm();
    bool noResponseYet = responseStatusCode() == 0;
    auto realmMatches = [&](const SessionCredentialRecord& record) {
        return noResponseYet || !record.AuthenticationRealm || record.AuthenticationRealm == realm;
    };
    auto sameOrigin = [&](const URL& other) {
        return other.host() == target->host() && other.port() == target->port() && other.scheme() == target->scheme();
    };
    return sessionStores().with([&](const SessionStores& stores) -> std::optional<SessionCredentialRecord> {
        for (const auto& record : stores.servers)
            if (record.URL == target && realmMatches(record))
                return record;
        for (const auto& record : stores.servers)
            if (record.URL && sameOrigin(*record.URL) && realmMatches(record))
                return record;
        return std::nullopt;
    });
}

std::optional<SessionCredentialRecord> HTTPRequest::findSessionProxyAuthenticationCredentials()
{
    auto host = proxyHost();
    int port = proxyPort();
    return sessionStores().with([&](const SessionStores& stores) -> std::optional<SessionCredentialRecord> {
        for (const auto& record : stores.proxies)
            if (record.Host == host && record.Port == port)
                return record;
        return std::nullopt;
    });
}

// ---- asking on the main thread ----

bool HTTPRequest::askDelegateForCredentials()
{
    return askDelegate(ChallengeTarget::Server);
}

bool HTTPRequest::askDelegateForProxyCredentials()
{
    return askDelegate(ChallengeTarget::Proxy);
}

bool HTTPRequest::askDelegate(ChallengeTarget side)
{
    if (isMainThread())
        return false; // the thread that must answer would wait for itself
    bool proxy = side == ChallengeTarget::Proxy;
    std::function<void()> ask;
    if (auto receiver = delegate()) {
        auto callback
            = proxy ? HTTPRequestDelegate::kProxyAuthenticationNeeded : HTTPRequestDelegate::kAuthenticationNeeded;
        if (!receiver->implements(callback))
            return false;
        ask = [receiver, callback, request = self()] { receiver->perform(callback, *request); };
    } else if (auto owner = queue()) {
        auto callback = proxy ? HTTPRequestQueue::Callback::ProxyAuthenticationNeeded
                              : HTTPRequestQueue::Callback::AuthenticationNeeded;
        if (!owner->implements(callback))
            return false;
        ask = [owner, proxy, request = self()] {
            if (proxy)
                owner->proxyAuthenticationNeededForRequest(*request);
            else
                owner->authenticationNeededForRequest(*request);
        };
    } else {
        return false;
    }
    if (!waitForCredentialsAnswer(ask))
        return false;
    auto main = mainRequest();
    return !error() && !(main && main->error());
}

bool HTTPRequest::showAuthenticationDialog()
{
    return showDialog(ChallengeTarget::Server);
}

bool HTTPRequest::showProxyAuthenticationDialog()
{
    return showDialog(ChallengeTarget::Proxy);
}

bool HTTPRequest::showDialog(ChallengeTarget side)
{
    bool proxy = side == ChallengeTarget::Proxy;
    if (!(proxy ? shouldPresentProxyAuthenticationDialog() : shouldPresentAuthenticationDialog()) || isMainThread())
        return false;
    bool answered = waitForCredentialsAnswer([proxy, request = self()] {
        if (proxy)
            AuthenticationDialog::presentProxyAuthenticationDialogForRequest(request);
        else
            AuthenticationDialog::presentAuthenticationDialogForRequest(request);
    });
    return answered && !error();
}

// Posts `ask` to the main thread and waits until it is answered (or the request is
// cancelled). False when cancelled.
bool HTTPRequest::waitForCredentialsAnswer(const std::function<void()>& ask)
{
    auto handOff = m_authenticationLock.get();
    handOff->lockWhenCondition(kNoExchangePending);
    handOff->unlockWithCondition(kAwaitingAnswer);
    // A cancel (or a declining answer) that came before the question answers it here:
    // it may have missed the awaiting state.
    if ((cancelRequested() || error()) && handOff->tryLockWhenCondition(kAwaitingAnswer))
        handOff->unlockWithCondition(kAnswered);
    else
        performOnMainThread(ask, false);
    handOff->lockWhenCondition(kAnswered);
    handOff->unlockWithCondition(kNoExchangePending);
    return !cancelRequested();
}

// Answers only a question that is waiting: a late or second answer does nothing.
void HTTPRequest::retryUsingSuppliedCredentials()
{
    auto handOff = m_authenticationLock.get();
    if (handOff->tryLockWhenCondition(kAwaitingAnswer))
        handOff->unlockWithCondition(kAnswered);
}

// Declining fails the request, unless it has already ended (a late answer must not
// turn a finished request into a failed one); a waiting worker is released.
void HTTPRequest::cancelAuthentication()
{
    if (complete())
        return;
    failWithError(HTTPRequestErrors::authenticationNeeded());
    auto handOff = m_authenticationLock.get();
    if (handOff->tryLockWhenCondition(kAwaitingAnswer))
        handOff->unlockWithCondition(kAnswered);
}

void HTTPRequest::answerPendingCredentialsRequestAsCancelled()
{
    auto handOff = m_authenticationLock.get();
    if (handOff->tryLockWhenCondition(kAwaitingAnswer))
        handOff->unlockWithCondition(kAnswered);
}

void HTTPRequest::renewAuthenticationLock()
{
    m_authenticationLock.set(std::make_shared<ConditionLock>(kNoExchangePending));
}

// Nothing of what answered the old origin's challenges goes to another origin.
void HTTPRequest::forgetAuthenticationForAnotherOrigin()
{
    m_requestAuthentication.set(nullptr);
    m_requestCredentials.set(nullptr);
    m_proxyAuthentication.set(nullptr);
    m_proxyCredentials.set(nullptr);
    m_serverNTLMCredentials.set(std::nullopt);
    m_proxyNTLMCredentials.set(std::nullopt);
    m_authenticationRealm.set(std::nullopt);
}

// ---- session stores ----

std::vector<SessionCredentialRecord> HTTPRequest::sessionCredentialsStore()
{
    return sessionStores().with([](const SessionStores& stores) { return stores.servers; });
}

std::vector<SessionCredentialRecord> HTTPRequest::sessionProxyCredentialsStore()
{
    return sessionStores().with([](const SessionStores& stores) { return stores.proxies; });
}

void HTTPRequest::storeAuthenticationCredentialsInSessionStore(SessionCredentialRecord record)
{
    sessionStores().with([&](SessionStores& stores) { storeRecord(stores.servers, std::move(record)); });
}

void HTTPRequest::storeProxyAuthenticationCredentialsInSessionStore(SessionCredentialRecord record)
{
    sessionStores().with([&](SessionStores& stores) { storeRecord(stores.proxies, std::move(record)); });
}

void HTTPRequest::removeAuthenticationCredentialsFromSessionStore(const CredentialsPtr& credentials)
{
    sessionStores().with([&](SessionStores& stores) { removeRecordHolding(stores.servers, credentials); });
}

void HTTPRequest::removeProxyAuthenticationCredentialsFromSessionStore(const CredentialsPtr& credentials)
{
    sessionStores().with([&](SessionStores& stores) { removeRecordHolding(stores.proxies, credentials); });
}

void HTTPRequest::clearSession()
{
    sessionStores().with([](SessionStores& stores) { stores.servers.clear(); });
    setSessionCookies({});
}

// ---- session cookies ----

std::vector<Cookie> HTTPRequest::sessionCookies()
{
    return sessionCookieList().with([](const std::vector<Cookie>& cookies) { return cookies; });
}

void HTTPRequest::setSessionCookies(std::vector<Cookie> cookies)
{
    sessionCookieList().with([&](std::vector<Cookie>& current) {
        for (const auto& cookie : current)
            (void)CookieStorage::shared().deleteCookie(cookie);
        current = std::move(cookies);
    });
}

void HTTPRequest::addSessionCookie(const Cookie& cookie)
{
    sessionCookieList().with([&](std::vector<Cookie>& current) {
        auto same = std::find_if(current.begin(), current.end(), [&](const Cookie& kept) {
            return kept.domain == cookie.domain && kept.path == cookie.path && kept.name == cookie.name;
        });
        if (same != current.end())
            current.erase(same);
        current.push_back(cookie);
    });
}

// ---- persistent credentials ----

void HTTPRequest::saveCredentialsToKeychain(const AuthenticationCredentials& credentials)
{
    auto target = url();
    if (!target)
        return;
    saveCredentialsForHost({.user = credentials.username, .password = credentials.password}, target->host(),
                           portOrZero(*target), target->scheme(), authenticationRealm().value_or(""));
}

void HTTPRequest::saveProxyCredentialsToKeychain(const AuthenticationCredentials& credentials)
{
    saveCredentialsForProxy({.user = credentials.username, .password = credentials.password}, proxyHost().value_or(""),
                            proxyPort(), proxyAuthenticationRealm().value_or(""));
}

void HTTPRequest::saveCredentialsForHost(const StoredCredential& credential, const std::string& host, int port,
                                         const std::string& protocol, const std::string& realm)
{
    PersistentCredentialStore::shared().setDefaultCredential(credential, serverSpace(host, port, protocol, realm));
}

void HTTPRequest::saveCredentialsForProxy(const StoredCredential& credential, const std::string& proxy, int port,
                                          const std::string& realm)
{
    PersistentCredentialStore::shared().setDefaultCredential(credential, proxySpace(proxy, port, realm));
}

std::optional<StoredCredential> HTTPRequest::savedCredentialsForHost(const std::string& host, int port,
                                                                     const std::string& protocol,
                                                                     const std::string& realm)
{
    return PersistentCredentialStore::shared().defaultCredential(serverSpace(host, port, protocol, realm));
}

std::optional<StoredCredential> HTTPRequest::savedCredentialsForProxy(const std::string& proxy, int port,
                                                                      const std::string&, const std::string& realm)
{
    return PersistentCredentialStore::shared().defaultCredential(proxySpace(proxy, port, realm));
}

void HTTPRequest::removeCredentialsForHost(const std::string& host, int port, const std::string& protocol,
                                           const std::string& realm)
{
    PersistentCredentialStore::shared().removeDefaultCredential(serverSpace(host, port, protocol, realm));
}

void HTTPRequest::removeCredentialsForProxy(const std::string& proxy, int port, const std::string& realm)
{
    PersistentCredentialStore::shared().removeDefaultCredential(proxySpace(proxy, port, realm));
}

} // namespace waterline
