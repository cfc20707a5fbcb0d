// Upload and download progress: fractions for the request's receivers, byte counts
// for its queue. Fractions are delivered on the main thread through setProgress; the
// queue's counters are called directly on the request's thread, each only when the
// queue implements it.
//
// A queue sums the byte deltas of many requests, so each delta must be counted once:
// the request remembers how far it has reported in the current attempt and how much
// it reported, and takes exactly that back when an attempt is abandoned.
#include <waterline/foundation/MainThread.h>
#include <waterline/http/HTTPRequest.h>

namespace waterline {

namespace {

// Orders the deliveries of all requests; recursive because a reset delivers under it.
std::recursive_mutex& progressLock()
{
    static auto* lock = new std::recursive_mutex;
    return *lock;
}

void tellQueue(HTTPRequest& request, HTTPRequestQueue::Callback callback,
               void (HTTPRequestQueue::*operation)(std::uint64_t), std::uint64_t amount)
{
    if (auto owner = request.queue(); owner && owner->implements(callback))
        ((*owner).*operation)(amount);
}

std::uint64_t difference(std::uint64_t now, std::uint64_t before)
{
    return now > before ? now - before : 0;
}

} // namespace

void HTTPRequest::setUploadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver)
{
    std::lock_guard guard(m_cancelledLock);
    m_uploadProgressDelegate.set(std::move(receiver));
}

void HTTPRequest::setDownloadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver)
{
    std::lock_guard guard(m_cancelledLock);
    m_downloadProgressDelegate.set(std::move(receiver));
}

void HTTPRequest::setProgress(double progress, const std::shared_ptr<ProgressReceiver>& receiver)
{
    if (!receiver)
        return;
    std::function<void()> delivery;
    {
        std::lock_guard guard(progressLock());
        if (receiver->implements(ProgressReceiver::Method::SetProgress))
            delivery = [receiver, value = static_cast<float>(progress)] { receiver->setProgress(value); };
        else if (receiver->implements(ProgressReceiver::Method::SetDoubleValue))
            delivery = [receiver, progress] { receiver->setDoubleValue(progress); };
    }
    if (delivery)
        performOnMainThread(std::move(delivery), isMainThread());
}

// Each pass with accurate progress; otherwise once, when the request completes. A
// size probe has no progress of its own.
void HTTPRequest::updateProgressIndicators()
{
    if (m_isSizeProbe)
        return;
    if (showAccurateProgress() || (complete() && !m_updatedProgress)) {
        updateUploadProgress();
        updateDownloadProgress();
    }
}

void HTTPRequest::updateUploadProgress()
{
    if (isCancelled() || m_cancelRequested.load())
        return;
    if (m_readStream)
        m_totalBytesSent.set(m_readStream->requestBytesWritten()); // the final count at completion too
    std::uint64_t sent = totalBytesSent();
    std::uint64_t length = postLength();
    // The first count that is not the whole body is what the connection swallowed at
    // once: it is left out of the queue's total and of the receiver's fraction.
    bool firstCount = m_uploadPosition == 0;
    if (sent != 0 && m_uploadBufferSize == 0 && sent != length) {
        m_uploadBufferSize = sent;
        tellQueue(*this, HTTPRequestQueue::Callback::SetUploadBufferSize, &HTTPRequestQueue::setUploadBufferSize, sent);
    }
    if (sent == 0)
        return;
    std::uint64_t amount = 1;
    if (!showAccurateProgress())
        m_updatedProgress = true;
    else
        amount = firstCount && sent != length ? 0 : difference(sent, m_uploadPosition);
    m_uploadPosition = std::max(m_uploadPosition, sent);
    m_uploadProgressCounted += amount;
    tellQueue(*this, HTTPRequestQueue::Callback::IncrementUploadProgress, &HTTPRequestQueue::incrementUploadProgressBy,
              amount);
    if (auto receiver = uploadProgressDelegate()) {
        double done = static_cast<double>(sent) - static_cast<double>(m_uploadBufferSize);
        double total = static_cast<double>(length) - static_cast<double>(m_uploadBufferSize);
        m_updatedProgress = true;
        setProgress(total > 0 ? done / total : 1.0, receiver);
    }
}

void HTTPRequest::updateDownloadProgress()
{
    if (!responseHeaders())
        return;
    std::uint64_t bytes = totalBytesRead() + partialDownloadSize();
    std::uint64_t amount = 1;
    if (!showAccurateProgress())
        m_updatedProgress = true;
    else
        amount = difference(bytes, m_lastBytesRead);
    tellQueue(*this, HTTPRequestQueue::Callback::IncrementDownloadProgress,
              &HTTPRequestQueue::incrementDownloadProgressBy, amount);
    if (auto receiver = downloadProgressDelegate()) {
        if (auto length = contentLength(); length > 0) {
            m_updatedProgress = true;
            setProgress(static_cast<double>(bytes) / static_cast<double>(length + partialDownloadSize()), receiver);
        } else if (complete()) {
            // Completion is reported once per attempt, so a response of unknown
            // length always ends at 1.0, whatever the upload side delivered.
            m_updatedProgress = true;
            setProgress(1.0, receiver);
        }
    }
    m_lastBytesRead = bytes;
}

void HTTPRequest::resetUploadProgress(std::uint64_t)
{
    std::lock_guard guard(progressLock());
    setProgress(0, uploadProgressDelegate());
}

void HTTPRequest::resetDownloadProgress(std::uint64_t size)
{
    std::lock_guard guard(progressLock());
    tellQueue(*this, HTTPRequestQueue::Callback::IncrementDownloadSize, &HTTPRequestQueue::incrementDownloadSizeBy,
              size);
    setProgress(0, downloadProgressDelegate());
}

// Takes back exactly what the abandoned attempt reported to the queue.
void HTTPRequest::removeUploadProgressSoFar()
{
    tellQueue(*this, HTTPRequestQueue::Callback::DecrementUploadProgress, &HTTPRequestQueue::decrementUploadProgressBy,
              m_uploadProgressCounted);
    m_uploadProgressCounted = 0;
    m_uploadPosition = 0;
    setProgress(0, uploadProgressDelegate());
}

} // namespace waterline
