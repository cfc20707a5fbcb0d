// Upload and download progress: fractions for the request's receivers, byte counts
// for its queue.
#include <waterline/foundation/MainThread.h>
#include <waterline/http/HTTPRequest.h>

namespace waterline {

namespace {

std::mutex& progressLock()
{
    static std::mutex lock;
    return lock;
}

} // namespace

void HTTPRequest::setUploadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver)
{
    m_uploadProgressDelegate.set(std::move(receiver));
}

void HTTPRequest::setDownloadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver)
{
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

} // namespace waterline
