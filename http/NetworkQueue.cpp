// The request queue: the batch's books (which requests are outstanding, which were
// cancelled and are still to report), the delegate calls, the size probes and the
// activity indicator. The progress arithmetic is ProgressTally's.
#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/NetworkQueue.h>

#include <algorithm>

namespace waterline {

namespace {

// The probe talks to the same server the same way as its request: without these a
// HEAD to a server with a private certificate authority, behind a proxy or behind a
// login would fail and take its request down with it.
void copyConnectionSettings(const HTTPRequest& from, HTTPRequest& to)
{
    to.setValidatesSecureCertificate(from.validatesSecureCertificate());
    to.setCertificateAuthorityFile(from.certificateAuthorityFile());
    to.setTimeOutSeconds(from.timeOutSeconds());
    to.setUseHTTPVersionOne(from.useHTTPVersionOne());
    to.setShouldRedirect(from.shouldRedirect());
    to.setUseCookiePersistance(from.useCookiePersistance());
    to.setProxyHost(from.proxyHost());
    to.setProxyPort(from.proxyPort());
    to.setPACurl(from.PACurl());
    to.setUsername(from.username());
    to.setPassword(from.password());
    to.setDomain(from.domain());
    to.setProxyUsername(from.proxyUsername());
    to.setProxyPassword(from.proxyPassword());
    to.setProxyDomain(from.proxyDomain());
}

// The process's one activity indicator, shown while any queue is active.
struct ActivityIndicator {
    std::mutex lock; // guards both fields
    std::function<void(bool)> show;
    int activeQueues = 0;

    static ActivityIndicator& shared()
    {
        static ActivityIndicator indicator;
        return indicator;
    }

    // A queue became active (+1) or stopped being active (-1).
    void change(int delta)
    {
        std::function<void(bool)> target;
        bool visible = false;
        {
            std::lock_guard guard(lock);
            bool wasVisible = activeQueues > 0;
            activeQueues += delta;
            visible = activeQueues > 0;
            if (visible == wasVisible || !show)
                return;
            target = show;
        }
        performOnMainThread([target, visible] { target(visible); }, false);
    }
};

} // namespace

std::shared_ptr<NetworkQueue> NetworkQueue::queue()
{
    return std::make_shared<NetworkQueue>(Token{});
}

NetworkQueue::NetworkQueue(Token)
    : OperationQueue("NetworkQueue")
{
    OperationQueue::setMaxConcurrentOperationCount(kMaxConcurrentRequests);
    OperationQueue::setSuspended(true);
}

NetworkQueue::~NetworkQueue()
{
    auto operations = this->operations();
    for (const auto& operation : operations) {
        if (auto request = std::dynamic_pointer_cast<HTTPRequest>(operation))
            request->setQueue({});
    }
    OperationQueue::cancelAllOperations();
    waitForRunningRequests(operations);
    if (m_indicatorShown)
        ActivityIndicator::shared().change(-1);
}

// On the main thread a running request may be waiting for the main thread (for
// credentials, say), so the main loop is served until every request has returned.
// Elsewhere the base class joins the workers (or, on one of them, lets it end).
void NetworkQueue::waitForRunningRequests(const std::vector<std::shared_ptr<Operation>>& operations)
{
    if (!isMainThread())
        return;
    auto anyRunning = [&] {
        return std::any_of(operations.begin(), operations.end(), [](const auto& op) { return op->isExecuting(); });
    };
    RunLoop& mainLoop = RunLoop::main();
    bool stopWasRequested = false;
    while (anyRunning()) {
        if (mainLoop.runMode(kDefaultRunLoopMode, 0.01, true) == RunLoopResult::Stopped)
            stopWasRequested = true;
    }
    if (stopWasRequested)
        mainLoop.stop(); // it was meant for the run this destructor is nested in
}

void NetworkQueue::addOperation(std::shared_ptr<Operation> operation)
{
    auto request = std::dynamic_pointer_cast<HTTPRequest>(operation);
    if (!request)
        throw AttemptToAddInvalidRequest();

    // Everything the request must carry before it can start is set first, and put
    // back if the base class refuses it (already in a queue, running or finished).
    Preparation prepared = prepare(*request);
    {
        // A report of this request (from a worker, on the main thread) waits for this
        // lock, so it finds the request on the books.
        std::lock_guard guard(m_booksLock);
        try {
            OperationQueue::addOperation(request);
        } catch (...) {
            undo(*request, prepared);
            throw;
        }
        m_outstanding.emplace(request.get(), request);
        m_batchOpen = true;
    }
    if (prepared.probe)
        addHEADOperation(prepared.probe);
    updateNetworkActivityIndicator();
}

NetworkQueue::Preparation NetworkQueue::prepare(HTTPRequest& request)
{
    Preparation prepared{request.queue(), request.showAccurateProgress(), request.shouldResetProgressIndicators()};
    bool accurate = showAccurateProgress();
    // A request with a body becomes a POST only when its body is built: a GET that
    // has one is an upload, not a download to probe.
    bool sendsBody = request.postBody() || request.postBodyFilePath();
    if (accurate && request.requestMethod() == "GET" && !sendsBody) {
        prepared.probe = request.HEADRequest();
        copyConnectionSettings(request, *prepared.probe);
        request.setShouldResetProgressIndicators(false);
        request.addDependency(prepared.probe); // added to the queue once the request is
    } else if (accurate && uploadProgressDelegate()) {
        request.buildPostBody();
        prepared.uploadUnits = request.postLength();
    } else if (!accurate && m_hasGone.get()) {
        // Counted in whole requests from go() on: one more request, one more unit.
        prepared.uploadUnits = prepared.downloadUnits = 1;
    }
    if (prepared.uploadUnits > 0)
        m_upload.expectMore(prepared.uploadUnits);
    if (prepared.downloadUnits > 0)
        m_download.expectMore(prepared.downloadUnits);
    request.setShowAccurateProgress(accurate);
    request.setQueue(weak_from_this());
    return prepared;
}

void NetworkQueue::undo(HTTPRequest& request, const Preparation& prepared)
{
    if (prepared.uploadUnits > 0)
        m_upload.expectLess(prepared.uploadUnits);
    if (prepared.downloadUnits > 0)
        m_download.expectLess(prepared.downloadUnits);
    if (prepared.probe)
        request.removeDependency(prepared.probe);
    request.setQueue(prepared.previousQueue);
    request.setShowAccurateProgress(prepared.showedAccurateProgress);
    request.setShouldResetProgressIndicators(prepared.resetProgressIndicators);
}

void NetworkQueue::addHEADOperation(const std::shared_ptr<HTTPRequest>& probe)
{
    probe->setRequestMethod("HEAD");
    probe->setQueuePriority(kSizeProbePriority);
    probe->setShowAccurateProgress(true);
    probe->setQueue(weak_from_this());
    OperationQueue::addOperation(probe);
}

void NetworkQueue::go()
{
    // Only the first go counts the batch: requests added after it count themselves,
    // so a second go must not count them again.
    if (!showAccurateProgress() && !m_hasGone.get()) {
        auto count = static_cast<std::uint64_t>(requestsCount());
        m_download.expectMore(count);
        m_upload.expectMore(count);
    }
    m_hasGone.set(true);
    setSuspended(false);
}

void NetworkQueue::setSuspended(bool suspended)
{
    OperationQueue::setSuspended(suspended);
    updateNetworkActivityIndicator();
}

void NetworkQueue::cancelAllOperations()
{
    {
        std::lock_guard guard(m_booksLock);
        m_cancelledUnreported.merge(m_outstanding);
        m_outstanding.clear();
    }
    m_upload.reset();
    m_download.reset();
    // On the main thread the cancelled requests report at once, from inside this call.
    OperationQueue::cancelAllOperations();
    updateNetworkActivityIndicator();
    finishBatchIfDone();
}

int NetworkQueue::requestsCount() const
{
    std::lock_guard guard(m_booksLock);
    return static_cast<int>(m_outstanding.size());
}

bool NetworkQueue::isNetworkActive() const
{
    return requestsCount() >= 1 && !isSuspended();
}

bool NetworkQueue::implements(Callback callback) const
{
    auto listener = delegate();
    switch (callback) {
    case Callback::AuthenticationNeeded:
        return listener && listener->implements(HTTPRequestDelegate::kAuthenticationNeeded);
    case Callback::ProxyAuthenticationNeeded:
        return listener && listener->implements(HTTPRequestDelegate::kProxyAuthenticationNeeded);
    default:
        return true;
    }
}

void NetworkQueue::requestDidFinish(HTTPRequest& request)
{
    report(Outcome::Finished, request);
}

void NetworkQueue::requestDidFail(HTTPRequest& request)
{
    report(Outcome::Failed, request);
}

bool NetworkQueue::settle(HTTPRequest& request)
{
    std::lock_guard guard(m_booksLock);
    if (m_outstanding.erase(&request) > 0)
        return true;
    m_cancelledUnreported.erase(&request);
    return false;
}

void NetworkQueue::report(Outcome outcome, HTTPRequest& request)
{
    auto keepAlive = shared_from_this();
    bool counted = settle(request);
    updateNetworkActivityIndicator();
    auto name = outcome == Outcome::Finished ? requestDidFinishSelector() : requestDidFailSelector();
    if (auto listener = delegate(); listener && !name.empty() && listener->implements(name))
        listener->perform(name, request);
    // Only a failure of its own cancels the rest: the reports of requests this queue
    // cancelled must not cancel requests added since.
    if (outcome == Outcome::Failed && counted && shouldCancelAllRequestsOnFailure() && requestsCount() > 0)
        cancelAllOperations();
    finishBatchIfDone();
}

void NetworkQueue::finishBatchIfDone()
{
    {
        std::lock_guard guard(m_booksLock);
        if (!m_batchOpen || !m_outstanding.empty() || !m_cancelledUnreported.empty())
            return;
        m_batchOpen = false;
    }
    auto name = queueDidFinishSelector();
    if (auto listener = delegate(); listener && !name.empty() && listener->implements(name))
        listener->performQueueCallback(name, *this);
}

void NetworkQueue::authenticationNeededForRequest(HTTPRequest& request)
{
    forwardCredentialCall(HTTPRequestDelegate::kAuthenticationNeeded, request);
}

void NetworkQueue::proxyAuthenticationNeededForRequest(HTTPRequest& request)
{
    forwardCredentialCall(HTTPRequestDelegate::kProxyAuthenticationNeeded, request);
}

void NetworkQueue::forwardCredentialCall(std::string_view name, HTTPRequest& request)
{
    if (auto listener = delegate(); listener && listener->implements(name))
        listener->perform(name, request);
}

void NetworkQueue::setNetworkActivityIndicator(std::function<void(bool visible)> indicator)
{
    auto& shared = ActivityIndicator::shared();
    std::lock_guard guard(shared.lock);
    shared.show = std::move(indicator);
}

void NetworkQueue::updateNetworkActivityIndicator()
{
    bool active = false;
    {
        std::lock_guard guard(m_booksLock);
        active = !m_outstanding.empty() && !isSuspended();
        if (active == m_indicatorShown)
            return;
        m_indicatorShown = active;
    }
    // Outside the books' lock: on the main thread the indicator is told at once.
    ActivityIndicator::shared().change(active ? 1 : -1);
}

} // namespace waterline
