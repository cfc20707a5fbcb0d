// A batch of HTTPRequests run as one unit: an OperationQueue running at most 4 of
// them at a time, created suspended so that the caller adds the whole batch and then
// starts it with go(). It counts the requests of the batch, adds up their upload and
// download progress for two receivers, can learn download sizes first through HEAD
// probes, tells its delegate of every finished or failed request and of the end of
// the batch, cancels the rest of the batch when one fails (unless told not to), and
// passes the requests' calls for credentials on to its delegate.
//
//     auto queue = NetworkQueue::queue();
//     queue->setDelegate(batch);                       // a NetworkQueueDelegate
//     queue->setRequestDidFailSelector(std::string(HTTPRequestDelegate::kRequestFailed));
//     queue->setQueueDidFinishSelector(std::string(NetworkQueueDelegate::kQueueFinished));
//     queue->setDownloadProgressDelegate(bar);
//     for (const auto& url : urls)
//         queue->addOperation(HTTPRequest::requestWithURL(url));
//     queue->go();                                     // reports arrive on the main thread
//
// Every batch ends with exactly one queue-finished call, also when the queue cancelled
// part of it: the failures of requests it cancelled itself are still passed to the
// delegate, and the batch ends once the last of them has been reported.
//
// Queues are always std::shared_ptr (made by queue()); requests hold theirs weakly.
// Destroying a queue cancels every request in it and waits for the running ones to
// return (on the main thread it keeps serving the main run loop meanwhile); reports
// already on their way to the main thread then find no queue and are dropped.
// Every accessor is thread-safe.
#pragma once

#include <waterline/foundation/OperationQueue.h>
#include <waterline/http/AtomicProperty.h>
#include <waterline/http/HTTPRequestDelegate.h>
#include <waterline/http/NetworkQueueDelegate.h>
#include <waterline/http/ProgressReceiver.h>
#include <waterline/http/ProgressTally.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace waterline {

class HTTPRequest;

// Thrown by NetworkQueue::addOperation for an operation that is not an HTTPRequest
// (a programming error); the queue is left unchanged.
class AttemptToAddInvalidRequest : public std::invalid_argument {
public:
    static constexpr const char* kName = "AttemptToAddInvalidRequest";
    static constexpr const char* kReason = "Attempted to add an object that was not an HTTPRequest to a NetworkQueue";
    AttemptToAddInvalidRequest()
        : std::invalid_argument(kReason)
    {
    }
    const char* name() const { return kName; }
};

class NetworkQueue : public OperationQueue, public HTTPRequestQueue, public std::enable_shared_from_this<NetworkQueue> {
public:
    static constexpr int kMaxConcurrentRequests = 4;
    // Size probes run ahead of everything else (above kQueuePriorityVeryHigh).
    static constexpr int kSizeProbePriority = 10;

    static std::shared_ptr<NetworkQueue> queue();
    ~NetworkQueue() override;

    // ---- the batch ----
    // Adds a request to the batch (any thread). Anything else throws
    // AttemptToAddInvalidRequest, also through addOperationWithBlock.
    void addOperation(std::shared_ptr<Operation> operation) override;
    // Starts the batch; without accurate progress the totals become the request count.
    void go();
    // Cancels every request (each reports its failure, code 4) and zeroes the counts.
    void cancelAllOperations() override;
    void setSuspended(bool suspended) override;
    // Counted requests are outstanding and the queue is not suspended.
    bool isNetworkActive() const;
    // Requests added and not yet reported; size probes are not counted.
    int requestsCount() const;

    // ---- delegate and callback names (empty: none) ----
    std::shared_ptr<NetworkQueueDelegate> delegate() const { return m_delegate.get().lock(); }
    void setDelegate(std::weak_ptr<NetworkQueueDelegate> delegate) { m_delegate.set(std::move(delegate)); }
    std::string requestDidFinishSelector() const { return m_requestDidFinishSelector.get(); }
    void setRequestDidFinishSelector(std::string name) { m_requestDidFinishSelector.set(std::move(name)); }
    std::string requestDidFailSelector() const { return m_requestDidFailSelector.get(); }
    void setRequestDidFailSelector(std::string name) { m_requestDidFailSelector.set(std::move(name)); }
    std::string queueDidFinishSelector() const { return m_queueDidFinishSelector.get(); }
    void setQueueDidFinishSelector(std::string name) { m_queueDidFinishSelector.set(std::move(name)); }

    // ---- options ----
    bool shouldCancelAllRequestsOnFailure() const { return m_shouldCancelAllRequestsOnFailure.get(); }
    void setShouldCancelAllRequestsOnFailure(bool cancel) { m_shouldCancelAllRequestsOnFailure.set(cancel); }
    // Byte-accurate progress (with a HEAD probe ahead of every GET), or one unit per request.
    bool showAccurateProgress() const { return m_showAccurateProgress.get(); }
    void setShowAccurateProgress(bool accurate) { m_showAccurateProgress.set(accurate); }
    std::map<std::string, std::string> userInfo() const { return m_userInfo.get(); }
    void setUserInfo(std::map<std::string, std::string> info) { m_userInfo.set(std::move(info)); }

    // ---- aggregated progress ----
    std::shared_ptr<ProgressReceiver> uploadProgressDelegate() const { return m_upload.receiver(); }
    void setUploadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver) { m_upload.setReceiver(receiver); }
    std::shared_ptr<ProgressReceiver> downloadProgressDelegate() const { return m_download.receiver(); }
    void setDownloadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver) { m_download.setReceiver(receiver); }
    std::uint64_t uploadProgressBytes() const { return m_upload.done(); }
    std::uint64_t uploadProgressTotalBytes() const { return m_upload.expected(); }
    std::uint64_t downloadProgressBytes() const { return m_download.done(); }
    std::uint64_t downloadProgressTotalBytes() const { return m_download.expected(); }
    // Adds to the upload total (go() uses it; callers rarely need it).
    void incrementUploadSizeBy(std::uint64_t bytes) { m_upload.expectMore(bytes); }

    // ---- the network activity indicator (process-wide) ----
    // Told on the main thread, true when the first queue becomes active and false when
    // the last one stops being active. Empty: nobody shows it.
    static void setNetworkActivityIndicator(std::function<void(bool visible)> indicator);

    // ---- HTTPRequestQueue: what the queue's requests call ----
    bool implements(Callback callback) const override;
    void requestDidFinish(HTTPRequest& request) override;
    void requestDidFail(HTTPRequest& request) override;
    void authenticationNeededForRequest(HTTPRequest& request) override;
    void proxyAuthenticationNeededForRequest(HTTPRequest& request) override;
    void setUploadBufferSize(std::uint64_t bytes) override { m_upload.expectLess(bytes); }
    void incrementUploadProgressBy(std::uint64_t bytes) override { m_upload.add(bytes); }
    void decrementUploadProgressBy(std::uint64_t bytes) override { m_upload.remove(bytes); }
    void incrementDownloadSizeBy(std::uint64_t bytes) override { m_download.expectMore(bytes); }
    void incrementDownloadProgressBy(std::uint64_t bytes) override { m_download.add(bytes); }

private:
    struct Token {};

public:
    explicit NetworkQueue(Token);

private:
    enum class Outcome { Finished, Failed };
    // What adding a request changed before the base class took it, to put back when
    // it does not.
    struct Preparation {
        std::weak_ptr<HTTPRequestQueue> previousQueue;
        bool showedAccurateProgress = false;
        bool resetProgressIndicators = true;
        std::shared_ptr<HTTPRequest> probe{};
        std::uint64_t uploadUnits = 0;
        std::uint64_t downloadUnits = 0;
    };
    Preparation prepare(HTTPRequest& request);
    void undo(HTTPRequest& request, const Preparation& prepared);
    void addHEADOperation(const std::shared_ptr<HTTPRequest>& probe);
    // Takes `request` off the books; whether it was counted in the batch.
    bool settle(HTTPRequest& request);
    void report(Outcome outcome, HTTPRequest& request);
    void finishBatchIfDone();
    void forwardCredentialCall(std::string_view name, HTTPRequest& request);
    void updateNetworkActivityIndicator();
    void waitForRunningRequests(const std::vector<std::shared_ptr<Operation>>& operations);

    AtomicProperty<std::weak_ptr<NetworkQueueDelegate>> m_delegate;
    AtomicProperty<std::string> m_requestDidFinishSelector;
    AtomicProperty<std::string> m_requestDidFailSelector;
    AtomicProperty<std::string> m_queueDidFinishSelector;
    AtomicProperty<bool> m_shouldCancelAllRequestsOnFailure{true};
    AtomicProperty<bool> m_showAccurateProgress{false};
    AtomicProperty<bool> m_hasGone{false}; // go() was called
    AtomicProperty<std::map<std::string, std::string>> m_userInfo;
    ProgressTally m_upload;
    ProgressTally m_download;

    // The books of the batch. `m_outstanding` holds the counted requests not yet
    // reported (requestsCount is its size); `m_cancelledUnreported` those that a
    // cancel-all took off the count and whose failure reports are still to come.
    // `m_batchOpen` is true from the first counted request to the queue-finished call.
    mutable std::mutex m_booksLock;
    std::unordered_map<const HTTPRequest*, std::shared_ptr<HTTPRequest>> m_outstanding;
    std::unordered_map<const HTTPRequest*, std::shared_ptr<HTTPRequest>> m_cancelledUnreported;
    bool m_batchOpen = false;
    bool m_indicatorShown = false; // this queue is counted as active by the indicator
};

} // namespace waterline
