// The transport over libcurl's multi interface, driven by the calling thread's run
// loop. This is the only file that knows curl.
//
// Each thread has one multi handle (its connection cache); each exchange is one easy
// handle in it. curl tells us which sockets to watch and when to wake it
// (CURLMOPT_SOCKETFUNCTION, CURLMOPT_TIMERFUNCTION); we make those fd sources and
// timers of the mode "HTTPRequest" and call curl_multi_socket_action when they fire.
// Response bytes are buffered here and taken by the caller's reads; when the buffer
// is full curl is paused, and resumed once the caller has read it down.
//
// The thread also keeps one eventfd source in the mode from its first exchange on.
// It carries our own wake-ups (exchanges with an event to deliver), and it keeps the
// mode non-empty: a slice of a mode without sources would return at once, and the
// caller's loop would spin while curl is paused or the server is silent. Finished
// exchanges give their easy handle back to the thread, reset, for the next one:
// making and configuring a handle costs more than a small request itself.
#include <waterline/foundation/Error.h>
#include <waterline/foundation/FdSource.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/Timer.h>
#include <waterline/http/HTTPTransport.h>

#include "AsciiCase.h"

#include <curl/curl.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <map>
#include <thread>
#include <utility>

namespace waterline {

namespace {

constexpr const char* kTransportErrorDomain = "HTTPTransportErrorDomain";
// Response bytes held before curl is paused; the largest read is 64 KiB.
constexpr std::size_t kBufferLimit = 256 * 1024;
// How long an upload whose body has nothing to give yet (a throttled body whose
// allowance is spent) stays paused before curl asks the body again.
constexpr auto kBodyRetryDelay = std::chrono::milliseconds(10);

class CurlTransport;

// Sets a flag for the life of a scope, also when the scope is left by an exception.
struct ScopedFlag {
    explicit ScopedFlag(bool& flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~ScopedFlag() { m_flag = false; }
    bool& m_flag;
};

// The thread's multi handle and the run-loop sources and timer it asked for.
class CurlMulti {
public:
    static CurlMulti& current();
    ~CurlMulti();

    // Adds the exchange and lets curl start on it at once (connect, or send on a kept
    // connection) rather than one timer round trip later.
    void add(CURL* easy)
    {
        curl_multi_add_handle(m_multi, easy);
        act(CURL_SOCKET_TIMEOUT, 0);
    }
    void remove(CURL* easy) { curl_multi_remove_handle(m_multi, easy); }
    void forgetSocket(curl_socket_t socket);

    // A reset easy handle, from the pool when one is there; empty when curl has none.
    CURL* takeEasyHandle();
    // Takes back a handle that is no longer in the multi handle.
    void returnEasyHandle(CURL* easy);

    // The thread's wake-up: `transport` has an event to deliver on the next turn of
    // the loop. Fails only when the eventfd cannot be made.
    ErrorOr<void> prepareWakeUp();
    void wake(CurlTransport* transport);
    void forgetWakeUp(CurlTransport* transport);

private:
    CurlMulti();
    static int onSocket(CURL*, curl_socket_t, int what, void* self, void*);
    static int onTimer(CURLM*, long milliseconds, void* self);
    void watchSocket(curl_socket_t, int what);
    void act(curl_socket_t, int flags);
    void actFromLoop(curl_socket_t, int flags);
    void collectFinished();
    void deliverWakeUps();

    CURLM* m_multi;
    RunLoop& m_loop;
    std::map<curl_socket_t, std::shared_ptr<FdSource>> m_sources;
    std::shared_ptr<Timer> m_timer;
    bool m_destroying = false;
    std::vector<CURL*> m_spareEasyHandles;

    int m_wakeFd = -1;
    bool m_wakeFdSignalled = false;
    // Set while a socket or timer handler lets curl act: what it wakes is delivered
    // as soon as curl returns, without a round through the eventfd.
    bool m_deliversAfterAction = false;
    std::shared_ptr<FdSource> m_wakeSource;
    // Exchanges waiting for a turn. Those being served are taken out first, so that
    // one signalling again waits for the next turn rather than spinning; the lists
    // being served are known here so that a closed exchange is blanked out of them.
    std::vector<CurlTransport*> m_waiting;
    std::vector<std::vector<CurlTransport*>*> m_beingDelivered;
};

class CurlTransport final : public HTTPTransport {
public:
    CurlTransport(HTTPTransportMessage message, std::function<void(Event)> onEvent);
    ~CurlTransport() override;

    ErrorOr<void> start();
    void didFinish(CURLcode);
    void deliverNextEvent();

    const ResponseHeaderBlock* responseHeader() const override;
    std::size_t read(std::span<std::uint8_t> buffer) override;
    std::uint64_t requestBytesWritten() const override;
    ErrorPtr streamError() const override { return m_error; }
    bool failedInSecureConnection() const override { return m_secureFailure; }
    void close() override;

private:
    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t onRequestBody(char* data, std::size_t size, std::size_t count, void* self);
    static int onCloseSocket(void* multi, curl_socket_t socket);
    void pauseSendingForAWhile();
    ErrorOr<void> configure();
    void setHeaders();
    void signal();
    bool hasPendingEvent() const;
    std::size_t buffered() const { return m_buffer.size() - m_bufferOffset; }
    void detach();
    void setNTLMCredentials();
    bool isInterimChallenge(int statusCode) const;
    bool headerComplete() const;

    HTTPTransportMessage m_message;
    std::function<void(Event)> m_onEvent;
    CURL* m_easy = nullptr;
    curl_slist* m_headerList = nullptr;
    curl_slist* m_proxyHeaderList = nullptr; // for the CONNECT request of a tunnel
    std::string m_urlText;
    std::string m_proxyText;
    char m_errorText[CURL_ERROR_SIZE] = {};
    std::thread::id m_owner = std::this_thread::get_id();
    // The opening thread's multi handle, so that detaching never reaches another
    // thread's.
    CurlMulti& m_multi = CurlMulti::current();

    bool m_started = false;
    bool m_signalled = false;

    ResponseHeaderParser m_headerParser;
    // The last challenge the NTLM handshake passed over; the response itself when the
    // exchange ends without another.
    std::optional<ResponseHeaderBlock> m_lastInterimChallenge;
    // An https exchange through a proxy whose CONNECT has not been answered yet: the
    // answer's header block comes first, and only a refusal (such as a 407 challenge)
    // is the response of this attempt.
    bool m_awaitingTunnel = false;
    std::string m_ntlmUser, m_proxyNTLMUser;
    bool m_announcedHeader = false;
    std::string m_buffer;
    std::size_t m_bufferOffset = 0;
    std::size_t m_bufferLimit = m_message.receiveBufferLimit.value_or(kBufferLimit);
    bool m_paused = false;
    // Resumes an upload paused because its body had nothing to give yet.
    std::shared_ptr<Timer> m_resumeSending;

    bool m_finished = false;
    bool m_announcedEnd = false;
    CURLcode m_result = CURLE_OK;
    ErrorPtr m_error;
    bool m_secureFailure = false;
    std::atomic<bool> m_closed{false};
    bool m_detached = false;
};

// ---- the thread's multi handle ----

CurlMulti& CurlMulti::current()
{
    thread_local CurlMulti multi;
    return multi;
}

CurlMulti::CurlMulti()
    : m_multi(curl_multi_init())
    , m_loop(RunLoop::current())
{
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlMulti::onSocket);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlMulti::onTimer);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

CurlMulti::~CurlMulti()
{
    m_destroying = true; // the cached connections close now; their sources go with the loop
    if (m_timer)
        m_timer->invalidate();
    for (auto& [socket, source] : m_sources)
        m_loop.removeSource(source, kHTTPRequestMode);
    m_sources.clear();
    if (m_wakeSource)
        m_loop.removeSource(m_wakeSource, kHTTPRequestMode);
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
    for (CURL* easy : m_spareEasyHandles)
        curl_easy_cleanup(easy);
    curl_multi_cleanup(m_multi);
}

CURL* CurlMulti::takeEasyHandle()
{
    if (m_spareEasyHandles.empty())
        return curl_easy_init();
    CURL* easy = m_spareEasyHandles.back();
    m_spareEasyHandles.pop_back();
    return easy;
}

void CurlMulti::returnEasyHandle(CURL* easy)
{
    // A few spares cover the exchanges a thread runs at once; more would only hold memory.
    constexpr std::size_t kSpareLimit = 8;
    if (m_destroying || m_spareEasyHandles.size() >= kSpareLimit) {
        curl_easy_cleanup(easy);
        return;
    }
    curl_easy_reset(easy);
    m_spareEasyHandles.push_back(easy);
}

ErrorOr<void> CurlMulti::prepareWakeUp()
{
    if (m_wakeFd >= 0)
        return {};
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        return Error::fromErrno(errno, "Unable to make the transport's wake-up descriptor");
    m_wakeSource = FdSource::create(m_wakeFd, FdSource::Read);
    m_wakeSource->onReady = [this] { deliverWakeUps(); };
    m_loop.addSource(m_wakeSource, kHTTPRequestMode);
    return {};
}

void CurlMulti::wake(CurlTransport* transport)
{
    if (!m_deliversAfterAction && !m_wakeFdSignalled) {
        m_wakeFdSignalled = true;
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
    }
    m_waiting.push_back(transport);
}

void CurlMulti::forgetWakeUp(CurlTransport* transport)
{
    std::erase(m_waiting, transport);
    for (auto* list : m_beingDelivered)
        std::replace(list->begin(), list->end(), transport, static_cast<CurlTransport*>(nullptr));
}

void CurlMulti::deliverWakeUps()
{
    if (m_wakeFdSignalled) {
        m_wakeFdSignalled = false;
        std::uint64_t count;
        [[maybe_unused]] auto taken = ::read(m_wakeFd, &count, sizeof count);
    }
    // A local list: a caller's handler may run the loop again, and with it this.
    std::vector<CurlTransport*> delivering;
    delivering.swap(m_waiting);
    m_beingDelivered.push_back(&delivering);
    // A caller's handler may throw (the request turns that into its failure): the
    // list must not stay known here after this frame has gone.
    struct Unlist {
        std::vector<std::vector<CurlTransport*>*>& lists;
        ~Unlist() { lists.pop_back(); }
    } unlist{m_beingDelivered};
    // Indexed: a transport closed by another's event is blanked out, not erased.
    for (std::size_t i = 0; i < delivering.size(); ++i) {
        if (auto* transport = delivering[i])
            transport->deliverNextEvent();
    }
}

int CurlMulti::onSocket(CURL*, curl_socket_t socket, int what, void* self, void*)
{
    static_cast<CurlMulti*>(self)->watchSocket(socket, what);
    return 0;
}

void CurlMulti::watchSocket(curl_socket_t socket, int what)
{
    if (m_destroying)
        return;
    if (what == CURL_POLL_REMOVE) {
        forgetSocket(socket);
        return;
    }
    auto interest = what == CURL_POLL_IN ? FdSource::Read
        : what == CURL_POLL_OUT          ? FdSource::Write
                                         : FdSource::ReadWrite;
    if (auto it = m_sources.find(socket); it != m_sources.end()) {
        it->second->setInterest(interest);
        return;
    }
    auto source = FdSource::create(socket, interest);
    source->onReady = [this, socket, weak = std::weak_ptr<FdSource>(source)] {
        auto ready = weak.lock();
        if (!ready)
            return;
        int flags = ((ready->readiness() & FdSource::Read) ? CURL_CSELECT_IN : 0)
            | ((ready->readiness() & FdSource::Write) ? CURL_CSELECT_OUT : 0);
        actFromLoop(socket, flags);
    };
    m_sources.emplace(socket, source);
    m_loop.addSource(source, kHTTPRequestMode);
}

// Called before a socket is closed (by curl's close callback) and on REMOVE, so that
// no source ever names a closed descriptor whose number a new socket may get.
void CurlMulti::forgetSocket(curl_socket_t socket)
{
    if (auto it = m_sources.find(socket); it != m_sources.end()) {
        m_loop.removeSource(it->second, kHTTPRequestMode);
        m_sources.erase(it);
    }
}

int CurlMulti::onTimer(CURLM*, long milliseconds, void* self)
{
    auto& multi = *static_cast<CurlMulti*>(self);
    if (multi.m_timer)
        multi.m_timer->invalidate();
    multi.m_timer.reset();
    if (milliseconds >= 0 && !multi.m_destroying) {
        multi.m_timer = Timer::singleShot(std::chrono::milliseconds(milliseconds),
                                          [&multi] { multi.actFromLoop(CURL_SOCKET_TIMEOUT, 0); }, multi.m_loop,
                                          {kHTTPRequestMode});
    }
    return 0;
}

// A handler of the loop is outside every caller's code, so the events curl caused
// can be delivered right away. (Not so for add() or a resumed read: the caller is
// still in the middle of its own call then.)
void CurlMulti::actFromLoop(curl_socket_t socket, int flags)
{
    {
        ScopedFlag acting(m_deliversAfterAction);
        act(socket, flags);
    }
    if (!m_waiting.empty())
        deliverWakeUps();
}

void CurlMulti::act(curl_socket_t socket, int flags)
{
    int running = 0;
    curl_multi_socket_action(m_multi, socket, flags, &running);
    collectFinished();
}

void CurlMulti::collectFinished()
{
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &left)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        CurlTransport* transport = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transport);
        if (transport)
            transport->didFinish(message->data.result);
    }
}

// ---- one exchange ----

bool isSecureConnectionFailure(CURLcode code)
{
    switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
        return true;
    default:
        return false;
    }
}

CurlTransport::CurlTransport(HTTPTransportMessage message, std::function<void(Event)> onEvent)
    : m_message(std::move(message))
    , m_onEvent(std::move(onEvent))
{
}

CurlTransport::~CurlTransport()
{
    detach();
}

ErrorOr<void> CurlTransport::start()
{
    WL_TRY(m_multi.prepareWakeUp());
    m_started = true;
    m_easy = m_multi.takeEasyHandle();
    if (!m_easy)
        return Error::create(kTransportErrorDomain, CURLE_FAILED_INIT, "Unable to make a transfer handle");
    WL_TRY(configure());
    m_multi.add(m_easy);
    return {};
}

// A method is an HTTP token; anything else could add lines of its own to the request.
bool isToken(std::string_view text)
{
    constexpr std::string_view punctuation = "!#$%&'*+-.^_`|~";
    return !text.empty() && std::all_of(text.begin(), text.end(), [&](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || punctuation.find(c) != std::string_view::npos;
    });
}

ErrorOr<void> CurlTransport::configure()
{
    if (!isToken(m_message.method))
        return Error::create(kTransportErrorDomain, CURLE_BAD_FUNCTION_ARGUMENT,
                             "The request method is not a token: '" + m_message.method + "'");
    if (auto unsafe = m_message.headers.firstUnsafeField())
        return Error::create(kTransportErrorDomain, CURLE_BAD_FUNCTION_ARGUMENT,
                             "A header name or value holds a line break or NUL: '" + unsafe->first + "'");
    // Without user information: curl would answer with it on its own.
    const URL& url = m_message.url;
    m_urlText = url.scheme() + "://" + url.hostAndPort() + url.pathAndQuery();
    curl_easy_setopt(m_easy, CURLOPT_URL, m_urlText.c_str());
    curl_easy_setopt(m_easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_errorText);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(m_easy, CURLOPT_HTTP_VERSION,
                     m_message.version == HTTPVersion::HTTP1_0 ? CURL_HTTP_VERSION_1_0 : CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &CurlTransport::onHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CurlTransport::onBody);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_CLOSESOCKETFUNCTION, &CurlTransport::onCloseSocket);
    curl_easy_setopt(m_easy, CURLOPT_CLOSESOCKETDATA, &m_multi);
    // A small receive limit also makes curl read the connection in small pieces.
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE,
                     static_cast<long>(std::clamp<std::size_t>(m_bufferLimit, 1024, 65536)));
    curl_easy_setopt(m_easy, CURLOPT_TCP_NODELAY, 1L);
    // The inactivity time-out is the caller's. curl's own connect limit (0: its
    // default of 300 s) stays only as a last resort for a request the caller exempts,
    // such as one whose body has not been taken yet.
    curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT, 0L);

    if (!m_message.validatesSecureCertificate) {
        curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, 0L);
    }
    if (m_message.certificateAuthorityFile)
        curl_easy_setopt(m_easy, CURLOPT_CAINFO, m_message.certificateAuthorityFile->c_str());

    // An empty proxy string also stops curl from reading proxies from the
    // environment: the caller has already decided.
    if (m_message.proxy)
        m_proxyText
            = m_message.proxy->scheme + "://" + m_message.proxy->host + ":" + std::to_string(m_message.proxy->port);
    curl_easy_setopt(m_easy, CURLOPT_PROXY, m_proxyText.c_str());
    m_awaitingTunnel = m_message.proxy && url.scheme() == "https";
    curl_easy_setopt(m_easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, m_awaitingTunnel ? 0L : 1L);
    setNTLMCredentials();

    const std::string& method = m_message.method;
    if (method == "HEAD") {
        curl_easy_setopt(m_easy, CURLOPT_NOBODY, 1L);
    } else if (m_message.body) {
        curl_easy_setopt(m_easy, CURLOPT_POST, 1L);
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_message.bodyLength));
        curl_easy_setopt(m_easy, CURLOPT_READFUNCTION, &CurlTransport::onRequestBody);
        curl_easy_setopt(m_easy, CURLOPT_READDATA, this);
    } else {
        curl_easy_setopt(m_easy, CURLOPT_HTTPGET, 1L);
    }
    bool curlSendsMethod = m_message.body ? method == "POST" : (method == "GET" || method == "HEAD");
    if (!curlSendsMethod)
        curl_easy_setopt(m_easy, CURLOPT_CUSTOMREQUEST, method.c_str());
    setHeaders();
    return {};
}

void CurlTransport::setHeaders()
{
    auto add = [&](const std::string& line) { m_headerList = curl_slist_append(m_headerList, line.c_str()); };
    // Through a tunnel (https by way of a proxy) only the CONNECT request reaches the
    // proxy: its credentials go there, never through the tunnel to the origin.
    bool tunnelled = m_message.proxy && m_message.url.scheme() == "https";
    for (const auto& [name, value] : m_message.headers) {
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        if (tunnelled && asciiLowercased(name) == "proxy-authorization")
            m_proxyHeaderList = curl_slist_append(m_proxyHeaderList, line.c_str());
        else
            add(line);
    }
    curl_easy_setopt(m_easy, CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
    curl_easy_setopt(m_easy, CURLOPT_PROXYHEADER, m_proxyHeaderList);
    // curl's own additions that the message did not ask for.
    if (!m_message.headers.contains("Expect"))
        add("Expect:");
    if (m_message.body && !m_message.headers.contains("Content-Type"))
        add("Content-Type:");
    curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headerList);
}

// "DOMAIN\\user" when there is a domain, as curl expects it.
void CurlTransport::setNTLMCredentials()
{
    auto userText = [](const HTTPTransportCredentials& credentials) {
        return credentials.domain.empty() ? credentials.user : credentials.domain + "\\" + credentials.user;
    };
    if (const auto& server = m_message.serverNTLMCredentials) {
        m_ntlmUser = userText(*server);
        curl_easy_setopt(m_easy, CURLOPT_HTTPAUTH, CURLAUTH_NTLM);
        curl_easy_setopt(m_easy, CURLOPT_USERNAME, m_ntlmUser.c_str());
        curl_easy_setopt(m_easy, CURLOPT_PASSWORD, server->password.c_str());
    }
    if (const auto& proxy = m_message.proxyNTLMCredentials) {
        m_proxyNTLMUser = userText(*proxy);
        curl_easy_setopt(m_easy, CURLOPT_PROXYAUTH, CURLAUTH_NTLM);
        curl_easy_setopt(m_easy, CURLOPT_PROXYUSERNAME, m_proxyNTLMUser.c_str());
        curl_easy_setopt(m_easy, CURLOPT_PROXYPASSWORD, proxy->password.c_str());
    }
}

bool CurlTransport::isInterimChallenge(int statusCode) const
{
    return (statusCode == 401 && m_message.serverNTLMCredentials)
        || (statusCode == 407 && m_message.proxyNTLMCredentials);
}

bool CurlTransport::headerComplete() const
{
    return responseHeader() != nullptr;
}

int CurlTransport::onCloseSocket(void* multi, curl_socket_t socket)
{
    static_cast<CurlMulti*>(multi)->forgetSocket(socket);
    return ::close(socket);
}

std::size_t CurlTransport::onHeader(char* data, std::size_t size, std::size_t count, void* self)
{
    auto& transport = *static_cast<CurlTransport*>(self);
    if (transport.m_headerParser.state() == ResponseHeaderParser::State::Incomplete) {
        if (transport.m_lastInterimChallenge) { // a body of the passed-over challenge is not the response's
            transport.m_buffer.clear();
            transport.m_bufferOffset = 0;
        }
        transport.m_headerParser.feed({data, size * count});
        if (transport.m_headerParser.state() == ResponseHeaderParser::State::Malformed)
            return 0; // makes curl fail the exchange with a write error
        if (transport.m_headerParser.state() == ResponseHeaderParser::State::Complete) {
            int statusCode = transport.m_headerParser.block().statusCode;
            if (transport.isInterimChallenge(statusCode)) {
                transport.m_lastInterimChallenge = transport.m_headerParser.block();
                transport.m_headerParser = ResponseHeaderParser();
                return size * count;
            }
            if (std::exchange(transport.m_awaitingTunnel, false) && statusCode / 100 == 2) {
                transport.m_lastInterimChallenge.reset();
                transport.m_headerParser = ResponseHeaderParser(); // the tunnel is open
                return size * count;
            }
            transport.signal();
        }
    }
    return size * count;
}

std::size_t CurlTransport::onBody(char* data, std::size_t size, std::size_t count, void* self)
{
    auto& transport = *static_cast<CurlTransport*>(self);
    if (transport.buffered() >= transport.m_bufferLimit) {
        transport.m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    if (transport.m_bufferOffset > 0 && transport.m_bufferOffset >= transport.m_buffer.size() / 2) {
        transport.m_buffer.erase(0, transport.m_bufferOffset);
        transport.m_bufferOffset = 0;
    }
    transport.m_buffer.append(data, size * count);
    transport.signal();
    return size * count;
}

std::size_t CurlTransport::onRequestBody(char* data, std::size_t size, std::size_t count, void* self)
{
    auto& transport = *static_cast<CurlTransport*>(self);
    if (!transport.m_message.body->hasBytesAvailable()) {
        transport.pauseSendingForAWhile();
        return CURL_READFUNC_PAUSE;
    }
    auto result = transport.m_message.body->read({reinterpret_cast<std::uint8_t*>(data), size * count});
    if (!result) {
        transport.m_error = result.error();
        return CURL_READFUNC_ABORT;
    }
    return *result;
}

// A timer of the mode "HTTPRequest" resumes the upload: the thread's loop goes on
// serving other sources meanwhile, and nothing polls the body in between. Receiving
// stays paused if it was.
void CurlTransport::pauseSendingForAWhile()
{
    m_resumeSending = Timer::singleShot(kBodyRetryDelay,
                                        [this] {
                                            if (!m_closed.load() && m_easy)
                                                curl_easy_pause(m_easy, m_paused ? CURLPAUSE_RECV : CURLPAUSE_CONT);
                                        },
                                        RunLoop::current(), {kHTTPRequestMode});
}

void CurlTransport::signal()
{
    if (m_signalled || !m_started || m_detached)
        return;
    m_signalled = true;
    m_multi.wake(this);
}

void CurlTransport::didFinish(CURLcode result)
{
    m_finished = true;
    m_result = result;
    if (result != CURLE_OK) {
        if (!m_error) {
            std::string text = curl_easy_strerror(result);
            if (m_errorText[0])
                text += std::string(": ") + m_errorText;
            m_error = Error::create(kTransportErrorDomain, result, text);
        }
        m_secureFailure = isSecureConnectionFailure(result);
    }
    signal();
}

bool CurlTransport::hasPendingEvent() const
{
    bool headerWaiting = headerComplete() && !m_announcedHeader;
    return headerWaiting || (buffered() > 0 && headerComplete()) || (m_finished && !m_announcedEnd);
}

// Delivers the waiting events in order: the complete header block, then body bytes
// (one read's worth per event, as long as bytes wait), then the end.
void CurlTransport::deliverNextEvent()
{
    m_signalled = false;
    while (!m_closed.load() && hasPendingEvent()) {
        Event event;
        if (headerComplete() && !m_announcedHeader) {
            m_announcedHeader = true;
            event = Event::BytesAvailable;
        } else if (buffered() > 0) { // bytes that came before a failure are still delivered
            std::size_t before = buffered();
            m_onEvent(Event::BytesAvailable); // may close this transport
            if (!m_closed.load() && buffered() == before)
                break; // the reader took nothing (throttled): ask again on the next slice
            continue;
        } else {
            m_announcedEnd = true;
            event = m_result == CURLE_OK ? Event::Complete : Event::Error;
        }
        m_onEvent(event); // may close this transport
    }
    if (!m_closed.load() && hasPendingEvent())
        signal();
}

const ResponseHeaderBlock* CurlTransport::responseHeader() const
{
    if (m_headerParser.state() == ResponseHeaderParser::State::Complete)
        return &m_headerParser.block();
    if (m_finished && m_lastInterimChallenge)
        return &*m_lastInterimChallenge;
    return nullptr;
}

std::size_t CurlTransport::read(std::span<std::uint8_t> buffer)
{
    std::size_t count = std::min(buffer.size(), buffered());
    if (count == 0)
        return 0; // a throttled reader may ask for nothing (and hold no buffer)
    std::memcpy(buffer.data(), m_buffer.data() + m_bufferOffset, count);
    m_bufferOffset += count;
    if (m_bufferOffset == m_buffer.size()) {
        m_buffer.clear();
        m_bufferOffset = 0;
    }
    if (m_paused && buffered() < m_bufferLimit / 2 && !m_closed.load()) {
        m_paused = false;
        // Keeps sending paused while the upload waits for its resume timer.
        bool sendingPaused = m_resumeSending && m_resumeSending->isValid();
        curl_easy_pause(m_easy, sendingPaused ? CURLPAUSE_SEND : CURLPAUSE_CONT); // may deliver the held bytes at once
    }
    return count;
}

std::uint64_t CurlTransport::requestBytesWritten() const
{
    curl_off_t sent = 0;
    if (m_easy)
        curl_easy_getinfo(m_easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    return static_cast<std::uint64_t>(sent);
}

void CurlTransport::close()
{
    m_closed.store(true);
    if (std::this_thread::get_id() == m_owner)
        detach();
}

// Takes the exchange out of curl and the run loop. Meant for the opening thread (the
// request detaches before its main returns); should it happen elsewhere, it still
// reaches the opening thread's multi handle and loop, never the caller's own.
void CurlTransport::detach()
{
    if (m_detached)
        return;
    m_detached = true;
    m_closed.store(true);
    if (m_resumeSending)
        m_resumeSending->invalidate();
    bool onOwner = std::this_thread::get_id() == m_owner;
    if (m_easy) {
        m_multi.remove(m_easy);
        // The pool is the opening thread's alone.
        if (onOwner)
            m_multi.returnEasyHandle(m_easy);
        else
            curl_easy_cleanup(m_easy);
        m_easy = nullptr;
    }
    curl_slist_free_all(m_headerList);
    m_headerList = nullptr;
    curl_slist_free_all(m_proxyHeaderList);
    m_proxyHeaderList = nullptr;
    if (m_message.body)
        m_message.body->close();
    if (m_started)
        m_multi.forgetWakeUp(this);
}

} // namespace

// Set up while the process starts, on the main thread, as libcurl asks: set up on a
// request queue's worker that ends later, the TLS library's state for that thread is lost.
const bool kTransferLibraryReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;

ErrorOr<std::unique_ptr<HTTPTransport>> HTTPTransport::open(HTTPTransportMessage message,
                                                            std::function<void(Event)> onEvent)
{
    if (!kTransferLibraryReady)
        return Error::create(kTransportErrorDomain, CURLE_FAILED_INIT, "Unable to initialise the transfer library");
    auto transport = std::make_unique<CurlTransport>(std::move(message), std::move(onEvent));
    WL_TRY(transport->start());
    return std::unique_ptr<HTTPTransport>(std::move(transport));
}

} // namespace waterline
