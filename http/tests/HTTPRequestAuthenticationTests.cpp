// Answering challenges end to end, against our scripted server: the sources of
// credentials in their order, the session stores, the hand-off with the main thread
// and its faults (cancel during a prompt, late answers), and keeping credentials to
// the origin they were given for.
#include "RequestTestSupport.h"

#include <waterline/foundation/MainThread.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/testing/ScriptedServer.h>

#include <openssl/sha.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace waterline {
namespace {

using namespace std::chrono_literals;
using test::errorText;
using test::requestFor;
using test::runMainUntil;
using testing::ScriptedReply;
using testing::ScriptedServer;

constexpr const char* kAladdinBasic = "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==";

// Every test starts without the session records of the others.
class HTTPRequestAuthentication : public ::testing::Test {
protected:
    void SetUp() override
    {
        HTTPRequest::clearSession();
        for (const auto& record : HTTPRequest::sessionProxyCredentialsStore())
            HTTPRequest::removeProxyAuthenticationCredentialsFromSessionStore(record.Credentials);
    }
    void TearDown() override { SetUp(); }
};

// Asked for credentials on the main thread; answers with `answer` (which may set the
// request's fields and retry, cancel, or do nothing at all).
class AskedDelegate : public test::RecordingDelegate {
public:
    bool implements(std::string_view callback) const override
    {
        return callback == kAuthenticationNeeded || callback == kProxyAuthenticationNeeded
            || RecordingDelegate::implements(callback);
    }
    void authenticationNeededForRequest(HTTPRequest& request) override
    {
        asked.push_back(isMainThread() ? "server on main" : "server elsewhere");
        if (answer)
            answer(request);
    }
    void proxyAuthenticationNeededForRequest(HTTPRequest& request) override
    {
        asked.push_back(isMainThread() ? "proxy on main" : "proxy elsewhere");
        if (answer)
            answer(request);
    }
    std::function<void(HTTPRequest&)> answer;
    std::vector<std::string> asked;
};

std::function<void(HTTPRequest&)> supply(std::string user, std::string password)
{
    return [=](HTTPRequest& request) {
        request.setUsername(user);
        request.setPassword(password);
        request.retryUsingSuppliedCredentials();
    };
}

// A Basic realm that lets in only `expected` (an Authorization value).
ScriptedServer::Responder basicRealm(std::string expected)
{
    return [expected](const testing::RecordedRequest& request) {
        if (request.header("Authorization") == expected)
            return ScriptedReply::response(200, {}, "welcome");
        return ScriptedReply::challenge(401, {R"(Basic realm="files")"});
    };
}

TEST_F(HTTPRequestAuthentication, FieldsGoOutBeforeAnyChallengeUnlessADomainIsSet)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder(basicRealm(kAladdinBasic));
    auto request = requestFor(server->url("/a"));
    request->setUsername("Aladdin");
    request->setPassword("open sesame");
    request->startSynchronous();
    ASSERT_EQ(request->responseStatusCode(), 200) << errorText(*request);
    ASSERT_EQ(server->requests().size(), 1u);
    EXPECT_EQ(server->requests()[0].header("Authorization"), kAladdinBasic);

    // A Basic record now stands for the URL: the next request needs no fields.
    auto again = requestFor(server->url("/a"));
    again->startSynchronous();
    EXPECT_EQ(again->responseStatusCode(), 200) << errorText(*again);
    EXPECT_EQ(server->requests().back().header("Authorization"), kAladdinBasic);

    HTTPRequest::clearSession();
    auto withDomain = requestFor(server->url("/b"));
    withDomain->setUsername("Aladdin");
    withDomain->setPassword("open sesame");
    withDomain->setDomain("CAVE");
    withDomain->startSynchronous();
    EXPECT_EQ(withDomain->responseStatusCode(), 200) << errorText(*withDomain);
    auto requests = server->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].header("Authorization"), std::nullopt);
    EXPECT_EQ(requests[3].header("Authorization"), kAladdinBasic);
}

TEST_F(HTTPRequestAuthentication, URLUserInformationWinsAndTheSessionRecordAnswersLater)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder(basicRealm(kAladdinBasic));
    auto url = server->url("/a");
    auto withUser = requestFor(url.replace(0, 7, "http://Aladdin:open%20sesame@"));
    withUser->setUsername("someone");
    withUser->setPassword("else");
    withUser->setShouldPresentCredentialsBeforeChallenge(false);
    withUser->startSynchronous();
    ASSERT_EQ(withUser->responseStatusCode(), 200) << errorText(*withUser);
    auto requests = server->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].header("Authorization"), std::nullopt); // the user information is ours to send, not curl's
    EXPECT_EQ(requests[1].header("Authorization"), kAladdinBasic);
    EXPECT_EQ(withUser->authenticationScheme(), "Basic");
    EXPECT_EQ(withUser->authenticationRealm(), "files");

    auto records = HTTPRequest::sessionCredentialsStore();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].AuthenticationScheme, "Basic");
    EXPECT_EQ(records[0].AuthenticationRealm, "files");
    EXPECT_EQ(records[0].Credentials->username, "Aladdin");

    // Same origin, other path: answered from the session record before any challenge.
    auto sibling = requestFor(server->url("/b"));
    sibling->startSynchronous();
    EXPECT_EQ(sibling->responseStatusCode(), 200) << errorText(*sibling);
    EXPECT_EQ(server->requests().size(), 3u);
}

TEST_F(HTTPRequestAuthentication, NoCredentialsAnywhereEndsAtOnceWithAuthenticationNeeded)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder(basicRealm(kAladdinBasic));
    auto wrong = requestFor(server->url("/a"));
    wrong->setUsername("Aladdin");
    wrong->setPassword("wrong");
    wrong->startSynchronous();
    ASSERT_TRUE(wrong->error());
    EXPECT_EQ(wrong->error()->code(), 3);
    EXPECT_EQ(errorText(*wrong), "Authentication needed");
    EXPECT_LE(server->requests().size(), 3u);
    EXPECT_TRUE(HTTPRequest::sessionCredentialsStore().empty()) << "a rejected password stays no record";

    auto none = requestFor(server->url("/a"));
    none->startSynchronous();
    EXPECT_EQ(errorText(*none), "Authentication needed");

    // A challenge we cannot answer at all, and a 401 without any challenge.
    server->setResponder([](const testing::RecordedRequest&) { return ScriptedReply::challenge(401, {"Negotiate"}); });
    auto negotiate = requestFor(server->url("/n"));
    negotiate->setUsername("u");
    negotiate->setPassword("p");
    negotiate->startSynchronous();
    EXPECT_EQ(errorText(*negotiate), "Authentication needed");
    server->setResponder([](const testing::RecordedRequest&) { return ScriptedReply::response(401); });
    auto bare = requestFor(server->url("/n"));
    bare->startSynchronous();
    ASSERT_TRUE(bare->error());
    EXPECT_EQ(bare->error()->code(), 7);
    EXPECT_EQ(errorText(*bare), "Failed to get authentication object from response headers");
}

// The server's check, written apart from the client's code: SHA-256 Digest with
// qop=auth over the parameters the client sent.
std::string sha256Hex(const std::string& text)
{
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest);
    std::string hex;
    char pair[3];
    for (unsigned char byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

std::string parameter(const std::string& header, const std::string& name)
{
    for (auto quoted : {true, false}) {
        auto key = name + (quoted ? "=\"" : "=");
        auto at = header.find(key);
        if (at == std::string::npos || (at > 0 && header[at - 1] != ' '))
            continue;
        at += key.size();
        return header.substr(at, header.find(quoted ? '"' : ',', at) - at);
    }
    return {};
}

bool isRightSHA256Digest(const std::string& header, const std::string& method, const std::string& nonce)
{
    if (!header.starts_with("Digest ") || parameter(header, "algorithm") != "SHA-256"
        || parameter(header, "nonce") != nonce || parameter(header, "qop") != "auth")
        return false;
    auto ha1 = sha256Hex("Mufasa:vault:Circle of Life");
    auto ha2 = sha256Hex(method + ":" + parameter(header, "uri"));
    auto expected = sha256Hex(ha1 + ":" + nonce + ":" + parameter(header, "nc") + ":" + parameter(header, "cnonce")
                              + ":auth:" + ha2);
    return parameter(header, "response") == expected && parameter(header, "opaque") == "op";
}

TEST_F(HTTPRequestAuthentication, DigestSHA256IsAnsweredAndAStaleNonceRenewedWithoutAsking)
{
    START_OR_FAIL(server, ScriptedServer::start());
    std::atomic<int> accepted{0};
    server->setResponder([&](const testing::RecordedRequest& request) {
        auto header = request.header("Authorization").value_or("");
        if (isRightSHA256Digest(header, request.method, "second"))
            return ++accepted, ScriptedReply::response(200, {}, "in");
        bool stale = isRightSHA256Digest(header, request.method, "first");
        std::string nonce = stale ? "second" : "first";
        return ScriptedReply::challenge(401,
                                        {R"(Basic realm="vault")",
                                         R"(Digest realm="vault", qop="auth", algorithm=SHA-256, opaque="op", nonce=")"
                                             + nonce + "\"" + (stale ? ", stale=true" : "")});
    });
    auto delegate = std::make_shared<AskedDelegate>();
    auto request = requestFor(server->url("/vault?x=1"));
    request->setDelegate(delegate);
    request->setUsername("Mufasa");
    request->setPassword("Circle of Life");
    request->setDomain("unused"); // nothing pre-emptive
    request->startSynchronous();
    EXPECT_EQ(request->responseStatusCode(), 200) << errorText(*request);
    EXPECT_EQ(accepted.load(), 1);
    EXPECT_EQ(request->authenticationScheme(), "Digest");
    auto requests = server->requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(parameter(*requests[2].header("Authorization"), "nc"), "00000001");
    EXPECT_EQ(parameter(*requests[2].header("Authorization"), "uri"), "/vault?x=1");
    EXPECT_TRUE(delegate->asked.empty());
}

TEST_F(HTTPRequestAuthentication, TheDelegateIsAskedOnTheMainThreadForAWorkersRequestOnly)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder(basicRealm(kAladdinBasic));
    auto delegate = std::make_shared<AskedDelegate>();
    delegate->answer = supply("Aladdin", "open sesame");
    auto onMain = requestFor(server->url("/a"));
    onMain->setDelegate(delegate);
    onMain->startSynchronous(); // the test runs on the main thread
    EXPECT_EQ(errorText(*onMain), "Authentication needed");
    EXPECT_TRUE(delegate->asked.empty());

    auto onWorker = requestFor(server->url("/a"));
    onWorker->setDelegate(delegate);
    onWorker->startAsynchronous();
    ASSERT_TRUE(runMainUntil([&] { return delegate->finished + delegate->failed > 1; }));
    EXPECT_EQ(onWorker->responseStatusCode(), 200) << errorText(*onWorker);
    EXPECT_EQ(delegate->asked, std::vector<std::string>{"server on main"});
}

TEST_F(HTTPRequestAuthentication, ARejectedPasswordLeavesTheStoreAndTheDelegateIsAskedAgain)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder(basicRealm(kAladdinBasic));
    auto delegate = std::make_shared<AskedDelegate>();
    int answers = 0;
    delegate->answer = [&](HTTPRequest& request) {
        bool first = answers++ == 0;
        EXPECT_TRUE(HTTPRequest::sessionCredentialsStore().empty()) << "a rejected record must be gone";
        supply("Aladdin", first ? "wrong" : "open sesame")(request);
    };
    auto request = requestFor(server->url("/a"));
    request->setDelegate(delegate);
    request->startAsynchronous();
    ASSERT_TRUE(runMainUntil([&] { return delegate->finished + delegate->failed > 0; }));
    EXPECT_EQ(request->responseStatusCode(), 200) << errorText(*request);
    EXPECT_EQ(answers, 2);
    auto records = HTTPRequest::sessionCredentialsStore();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Credentials->password, "open sesame");

    // Declining ends the request with the shared error.
    delegate->answer = [](HTTPRequest& request) { request.cancelAuthentication(); };
    HTTPRequest::clearSession();
    auto declined = requestFor(server->url("/a"));
    declined->setDelegate(delegate);
    declined->startAsynchronous();
    ASSERT_TRUE(runMainUntil([&] { return delegate->failed > 0; }));
    EXPECT_EQ(errorText(*declined), "Authentication needed");
}

TEST_F(HTTPRequestAuthentication, CancelDuringAPendingPromptEndsTheRequestWithoutAHang)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder(basicRealm(kAladdinBasic));
    auto delegate = std::make_shared<AskedDelegate>(); // asked, never answers
    auto request = requestFor(server->url("/a"));
    request->setDelegate(delegate);
    request->startAsynchronous();
    ASSERT_TRUE(runMainUntil([&] { return !delegate->asked.empty(); }));
    // The worker waits for us holding cancelledLock; cancel must not wait for it.
    request->cancel();
    ASSERT_TRUE(runMainUntil([&] { return request->isFinished() && delegate->failed > 0; }));
    EXPECT_EQ(errorText(*request), "The request was cancelled");

    // Answers that come late, or twice, are ignored and never block this thread.
    request->retryUsingSuppliedCredentials();
    request->retryUsingSuppliedCredentials();
    request->cancelAuthentication();
    EXPECT_EQ(errorText(*request), "The request was cancelled");
}

// One request asks at a time; another that waits for its turn holds its own
// cancelledLock meanwhile, so cancelling it must not wait for the first prompt.
TEST_F(HTTPRequestAuthentication, ARequestWaitingForItsTurnToAskCanBeCancelled)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder(basicRealm(kAladdinBasic));
    auto delegate = std::make_shared<AskedDelegate>(); // asked, never answers
    auto first = requestFor(server->url("/a"));
    first->setDelegate(delegate);
    first->startAsynchronous();
    ASSERT_TRUE(runMainUntil([&] { return !delegate->asked.empty(); }));
    auto second = requestFor(server->url("/b"));
    second->setDelegate(delegate);
    second->startAsynchronous();
    ASSERT_TRUE(server->waitForRequests(2, 5s));
    runMainUntil([] { return false; }, 0.3); // let the second take up its challenge
    second->cancel();
    EXPECT_EQ(errorText(*second), "The request was cancelled");
    first->cancel();
    ASSERT_TRUE(runMainUntil([&] { return delegate->failed == 2; }));
    EXPECT_EQ(delegate->asked.size(), 1u);
}

TEST_F(HTTPRequestAuthentication, ALateAnswerDoesNotReleaseTheNextQuestion)
{
    START_OR_FAIL(server, ScriptedServer::start());
    server->setResponder(basicRealm(kAladdinBasic));
    auto delegate = std::make_shared<AskedDelegate>();
    auto request = requestFor(server->url("/a"));
    // An answer with no question pending leaves no stale condition behind.
    request->retryUsingSuppliedCredentials();
    request->retryUsingSuppliedCredentials();
    delegate->answer = [](HTTPRequest& asked) {
        supply("Aladdin", "open sesame")(asked);
        asked.retryUsingSuppliedCredentials(); // a second answer: ignored
    };
    request->setDelegate(delegate);
    request->startAsynchronous();
    ASSERT_TRUE(runMainUntil([&] { return delegate->finished + delegate->failed > 0; }));
    EXPECT_EQ(request->responseStatusCode(), 200) << errorText(*request);
    EXPECT_EQ(delegate->asked.size(), 1u);
}

TEST_F(HTTPRequestAuthentication, CredentialsNeverFollowARedirectToAnotherOrigin)
{
    START_OR_FAIL(elsewhere, ScriptedServer::start());
    START_OR_FAIL(origin, ScriptedServer::start());
    elsewhere->setResponder(
        [](const testing::RecordedRequest&) { return ScriptedReply::challenge(401, {R"(Basic realm="files")"}); });
    auto target = elsewhere->url("/steal");
    origin->setResponder([target](const testing::RecordedRequest& request) {
        if (request.header("Authorization") != kAladdinBasic)
            return ScriptedReply::challenge(401, {R"(Basic realm="files")"});
        return ScriptedReply::response(302, {{"Location", target}});
    });
    auto request = requestFor(origin->url("/a"));
    request->setUsername("Aladdin");
    request->setPassword("open sesame");
    request->setShouldPresentCredentialsBeforeChallenge(false);
    request->startSynchronous();
    EXPECT_EQ(errorText(*request), "Authentication needed");
    ASSERT_FALSE(elsewhere->requests().empty());
    for (const auto& sent : elsewhere->requests())
        EXPECT_EQ(sent.header("Authorization"), std::nullopt);

    // Nor does a session record of the first origin answer for the second.
    auto direct = requestFor(target);
    direct->startSynchronous();
    EXPECT_EQ(elsewhere->requests().back().header("Authorization"), std::nullopt);
}

TEST_F(HTTPRequestAuthentication, ProxyCredentialsAreAnsweredAndOutliveClearSession)
{
    START_OR_FAIL(proxy, ScriptedServer::start());
    proxy->setResponder([](const testing::RecordedRequest& request) {
        if (request.header("Proxy-Authorization") == "Basic cHJveHk6c2VjcmV0")
            return ScriptedReply::response(200, {}, "through");
        return ScriptedReply::challenge(407, {R"(Basic realm="gate")"});
    });
    auto request = requestFor("http://origin.invalid/page");
    request->setProxyHost("127.0.0.1");
    request->setProxyPort(proxy->port());
    request->setProxyUsername("proxy");
    request->setProxyPassword("secret");
    request->startSynchronous();
    ASSERT_EQ(request->responseStatusCode(), 200) << errorText(*request);
    EXPECT_EQ(request->proxyAuthenticationScheme(), "Basic");
    EXPECT_EQ(request->proxyAuthenticationRealm(), "gate");

    HTTPRequest::storeAuthenticationCredentialsInSessionStore(
        {.Credentials = std::make_shared<const AuthenticationCredentials>(),
         .URL = URL::parse("http://origin.invalid/"),
         .AuthenticationScheme = "Basic"});
    HTTPRequest::clearSession();
    EXPECT_TRUE(HTTPRequest::sessionCredentialsStore().empty());
    ASSERT_EQ(HTTPRequest::sessionProxyCredentialsStore().size(), 1u);

    auto next = requestFor("http://origin.invalid/other");
    next->setProxyHost("127.0.0.1");
    next->setProxyPort(proxy->port());
    next->startSynchronous();
    EXPECT_EQ(next->responseStatusCode(), 200) << errorText(*next);
    EXPECT_EQ(proxy->requests().back().header("Proxy-Authorization"), "Basic cHJveHk6c2VjcmV0");
}

// NTLM is the transport's: the whole handshake runs within one attempt on one
// connection, and its interim challenge (with a body of its own) is passed over.
TEST_F(HTTPRequestAuthentication, NTLMRunsItsHandshakeWithinOneAttempt)
{
    START_OR_FAIL(server, ScriptedServer::start());
    std::atomic<bool> acceptAnswer{true};
    server->setResponder([&](const testing::RecordedRequest& request) {
        auto sent = request.header("Authorization").value_or("");
        ScriptedReply reply = ScriptedReply::challenge(401, {"NTLM", R"(Basic realm="r")"}, "no");
        if (sent.starts_with("NTLM TlRMTVNTUAABAAAA")) // negotiate: answered with a challenge message
            reply = ScriptedReply::challenge(401, {"NTLM TlRMTVNTUAACAAAAAAAAAAAAAAABAgAAASNFZ4mrze8="}, "interim");
        else if (sent.starts_with("NTLM TlRMTVNTUAADAAAA") && acceptAnswer) // authenticate
            reply = ScriptedReply::response(200, {}, "through");
        reply.after = testing::AfterReply::KeepAlive;
        return reply;
    });
    auto configure = [](HTTPRequest& request) {
        request.setUsername("dave");
        request.setPassword("secret");
        request.setDomain("OFFICE");
    };
    auto request = requestFor(server->url("/ntlm"));
    configure(*request);
    request->startSynchronous();
    ASSERT_EQ(request->responseStatusCode(), 200) << errorText(*request);
    EXPECT_EQ(test::bodyText(*request), "through");
    EXPECT_EQ(request->authenticationScheme(), "NTLM");
    auto requests = server->requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].header("Authorization"), std::nullopt) << "with a domain nothing goes out first";
    EXPECT_EQ(requests[1].connection, requests[2].connection);

    // A refused answer ends the request: there is nobody to ask.
    acceptAnswer = false;
    HTTPRequest::clearSession();
    auto refused = requestFor(server->url("/ntlm"));
    configure(*refused);
    refused->startSynchronous();
    EXPECT_EQ(errorText(*refused), "Authentication needed");
}

TEST_F(HTTPRequestAuthentication, SessionCookiesReplaceTheirNamesakesOnly)
{
    auto url = *URL::parse("http://example.com/");
    auto cookie = [&](const char* text) { return *Cookie::parse(text, url); };
    HTTPRequest::setSessionCookies({});
    HTTPRequest::addSessionCookie(cookie("id=1; Path=/"));
    HTTPRequest::addSessionCookie(cookie("id=2; Path=/shop"));
    HTTPRequest::addSessionCookie(cookie("id=3; Path=/"));
    auto cookies = HTTPRequest::sessionCookies();
    ASSERT_EQ(cookies.size(), 2u);
    EXPECT_EQ(cookies[0].value, "2");
    EXPECT_EQ(cookies[1].value, "3");
    HTTPRequest::clearSession();
    EXPECT_TRUE(HTTPRequest::sessionCookies().empty());
}

TEST(HTTPRequestBase64, EncodesWithTheStandardAlphabetAndPadding)
{
    auto encode = [](std::string_view text) {
        return HTTPRequest::base64forData({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
    };
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode("f"), "Zg==");
    EXPECT_EQ(encode("fo"), "Zm8=");
    EXPECT_EQ(encode("\xfb\xff"), "+/8=");
}

} // namespace
} // namespace waterline
