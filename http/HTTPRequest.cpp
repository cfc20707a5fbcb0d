// The request's life: creation, running on the caller's thread or the shared queue,
// cancelling, the finish and fail notifications, and the response accessors.
#include <waterline/foundation/MainThread.h>
#include <waterline/http/GzipCodec.h>
#include <waterline/http/HTTPRequest.h>

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <typeinfo>

namespace waterline {

void HTTPRequestDelegate::perform(std::string_view callback, HTTPRequest& request)
{
    if (callback == kRequestFinished)
        requestFinished(request);
    else if (callback == kRequestFailed)
        requestFailed(request);
    else if (callback == kAuthenticationNeeded)
        authenticationNeededForRequest(request);
    else if (callback == kProxyAuthenticationNeeded)
        proxyAuthenticationNeededForRequest(request);
}

HTTPRequest::HTTPRequest(std::optional<URL> url)
    : m_url(std::move(url))
{
}

HTTPRequest::~HTTPRequest()
{
    // A temporary body file goes with the request, also one kept for a retry.
    m_authenticationChallengeInProgress.set(false);
    std::lock_guard guard(m_cancelledLock);
    cancelLoad();
    m_retiredStreams.clear();
}

std::shared_ptr<HTTPRequest> HTTPRequest::requestWithURL(std::optional<URL> url)
{
    return std::shared_ptr<HTTPRequest>(new HTTPRequest(std::move(url)));
}

std::shared_ptr<HTTPRequest> HTTPRequest::HEADRequest()
{
    auto probe = std::shared_ptr<HTTPRequest>(new HTTPRequest(url()));
    probe->m_mainRequest.set(self());
    probe->m_isSizeProbe = true;
    probe->setRequestMethod("HEAD");
    return probe;
}

OperationQueue& HTTPRequest::sharedRequestQueue()
{
    // Never destroyed: workers may still run requests while the process exits.
    static OperationQueue* queue = [] {
        auto* requests = new OperationQueue("HTTPRequest shared queue");
        requests->setMaxConcurrentOperationCount(4);
        return requests;
    }();
    return *queue;
}

void HTTPRequest::startAsynchronous()
{
    sharedRequestQueue().addOperation(self());
}

void HTTPRequest::setDelegate(std::weak_ptr<HTTPRequestDelegate> delegate)
{
    std::lock_guard guard(m_cancelledLock);
    m_delegate.set(std::move(delegate));
}

void HTTPRequest::setQueue(std::weak_ptr<HTTPRequestQueue> queue)
{
    std::lock_guard guard(m_cancelledLock);
    m_queue.set(std::move(queue));
}

ErrorOr<void> HTTPRequest::addRequestHeader(const std::string& name, const std::string& value)
{
    if (!HTTPHeaderFields::isSafeName(name) || !HTTPHeaderFields::isSafeValue(value))
        return Error::create(kHTTPRequestErrorDomain, static_cast<int>(HTTPRequestErrorCode::UnableToCreateRequest),
                             "A header name or value holds a line break or NUL: '" + name + "'");
    m_requestHeaders.modify([&](std::optional<HTTPHeaderFields>& headers) {
        if (!headers)
            headers.emplace();
        headers->set(name, value);
    });
    return {};
}

namespace {

// "std::runtime_error" rather than the mangled "St13runtime_error".
std::string exceptionName(const std::exception& exception)
{
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> readable(
        abi::__cxa_demangle(typeid(exception).name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && readable ? std::string(readable.get()) : std::string(typeid(exception).name());
}

} // namespace

// The whole exchange; anything thrown inside becomes a failure with code 10.
void HTTPRequest::main()
{
    auto keepAlive = self();
    try {
        runExchange();
    } catch (const std::exception& exception) {
        std::string name = exceptionName(exception);
        auto inner = Error::create(kHTTPRequestErrorDomain, static_cast<int>(HTTPRequestErrorCode::UnhandledException),
                                   {.localizedDescription = name, .failureReason = exception.what()});
        failWithError(
            Error::create(kHTTPRequestErrorDomain, static_cast<int>(HTTPRequestErrorCode::UnhandledException),
                          {.localizedDescription = name, .failureReason = exception.what(), .underlyingError = inner}));
    } catch (...) {
        failWithError(HTTPRequestErrors::make(HTTPRequestErrorCode::UnhandledException, "unknown exception"));
    }
    // Nothing of curl may outlive main: the request may be destroyed on another thread.
    std::lock_guard guard(m_cancelledLock);
    if (m_readStream && complete())
        cancelLoad();
    m_retiredStreams.clear();
    didChangeFinished();
}

void HTTPRequest::runExchange()
{
    m_complete.set(false);
    auto target = url();
    if (!target) {
        failWithError(HTTPRequestErrors::unableToCreateRequest());
        return;
    }
    if (!m_originalURL)
        m_originalURL = target;
    if (!m_isSizeProbe)
        buildPostBody();
    if (target->scheme() != "http" && target->scheme() != "https") {
        failWithError(HTTPRequestErrors::unableToCreateRequest());
        return;
    }
    if (auto main = mainRequest())
        main->buildRequestHeaders();
    buildRequestHeaders();
    applyAuthorizationHeader();
    loadRequest();
}

void HTTPRequest::cancel()
{
    if (!complete())
        m_cancelRequested.store(true); // seen by a worker waiting for credentials or bandwidth
    answerPendingCredentialsRequestAsCancelled();
    {
        std::lock_guard guard(m_cancelledLock);
        if (isCancelled() || complete())
            return;
        failWithError(HTTPRequestErrors::requestCancelled());
        m_complete.set(true);
        cancelLoad();
    }
    Operation::cancel();
    didChangeFinished();
}

// Calls `call` with the request on the main thread, keeping the request alive until
// it has run.
void HTTPRequest::notifyOnMainThread(std::function<void(HTTPRequest&)> call)
{
    performOnMainThread([request = self(), call = std::move(call)] { call(*request); }, false);
}

void HTTPRequest::requestFinished()
{
    if (error() || m_isSizeProbe)
        return;
    if (auto owner = queue(); owner && owner->implements(HTTPRequestQueue::Callback::RequestDidFinish))
        notifyOnMainThread([queue = std::weak_ptr(owner)](HTTPRequest& request) {
            if (auto owner = queue.lock()) // a queue destroyed meanwhile hears nothing
                owner->requestDidFinish(request);
        });
    auto selector = didFinishSelector();
    if (auto receiver = delegate(); receiver && !selector.empty() && receiver->implements(selector))
        notifyOnMainThread([receiver, selector](HTTPRequest& request) { receiver->perform(selector, request); });
}

void HTTPRequest::failWithError(ErrorPtr failure)
{
    m_complete.set(true);
    if (isCancelled() || error())
        return;
    if (m_isSizeProbe) {
        auto main = mainRequest();
        if (main) {
            main->setError(failure);
            main->cancel(); // failed through its probe: it must not run after all
        }
        if (auto owner = queue(); main && owner && owner->implements(HTTPRequestQueue::Callback::RequestDidFail))
            performOnMainThread(
                [queue = std::weak_ptr(owner), main] {
                    if (auto owner = queue.lock())
                        owner->requestDidFail(*main);
                },
                false);
        return;
    }
    setError(std::move(failure));
    if (auto owner = queue(); owner && owner->implements(HTTPRequestQueue::Callback::RequestDidFail))
        notifyOnMainThread([queue = std::weak_ptr(owner)](HTTPRequest& request) {
            if (auto owner = queue.lock())
                owner->requestDidFail(request);
        });
    auto selector = didFailSelector();
    if (auto receiver = delegate(); receiver && !selector.empty() && receiver->implements(selector))
        notifyOnMainThread([receiver, selector](HTTPRequest& request) { receiver->perform(selector, request); });
}

std::shared_ptr<const HTTPRequest::Bytes> HTTPRequest::rawResponseData() const
{
    return m_rawResponseData.get();
}

bool HTTPRequest::isResponseCompressed() const
{
    auto headers = responseHeaders();
    auto encoding = headers ? headers->get("Content-Encoding") : std::nullopt;
    return encoding && encoding->find("gzip") != std::string::npos;
}

std::optional<HTTPRequest::Bytes> HTTPRequest::responseData() const
{
    auto raw = rawResponseData();
    if (!raw)
        return std::nullopt;
    if (isResponseCompressed())
        return GzipCodec::uncompressZippedData(*raw);
    return *raw;
}

std::optional<std::string> HTTPRequest::responseString() const
{
    auto data = responseData();
    if (!data)
        return std::nullopt;
    return decodeText(*data, responseEncoding());
}

} // namespace waterline
