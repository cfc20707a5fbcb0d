// Who hears about a request: its delegate and its owning queue. Both are interfaces
// with no-op operations and an implements() query; the request calls an operation
// only when the receiver says it implements it, and always on the main thread
// (except the queue's progress counters, which run on the request's thread). The
// request never owns either: it holds them by std::weak_ptr.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace waterline {

class HTTPRequest;

class HTTPRequestDelegate {
public:
    static constexpr std::string_view kRequestFinished = "requestFinished:";
    static constexpr std::string_view kRequestFailed = "requestFailed:";
    static constexpr std::string_view kAuthenticationNeeded = "authenticationNeededForRequest:";
    static constexpr std::string_view kProxyAuthenticationNeeded = "proxyAuthenticationNeededForRequest:";

    virtual ~HTTPRequestDelegate() = default;

    // Whether the delegate has the callback named `callback` (one of the names above,
    // or a name of its own set as the request's didFinishSelector/didFailSelector).
    virtual bool implements(std::string_view callback) const = 0;
    // Runs the callback named `callback`. The default runs the matching operation
    // below; a delegate with callbacks of its own names overrides it.
    virtual void perform(std::string_view callback, HTTPRequest& request);

    virtual void requestFinished(HTTPRequest&) {}
    virtual void requestFailed(HTTPRequest&) {}
    virtual void authenticationNeededForRequest(HTTPRequest&) {}
    virtual void proxyAuthenticationNeededForRequest(HTTPRequest&) {}
};

// The owning queue as a request sees it.
class HTTPRequestQueue {
public:
    enum class Callback {
        RequestDidFinish,
        RequestDidFail,
        AuthenticationNeeded,
        ProxyAuthenticationNeeded,
        SetUploadBufferSize,
        IncrementUploadProgress,
        DecrementUploadProgress,
        IncrementDownloadSize,
        IncrementDownloadProgress,
    };

    virtual ~HTTPRequestQueue() = default;
    virtual bool implements(Callback) const = 0;

    virtual void requestDidFinish(HTTPRequest&) {}
    virtual void requestDidFail(HTTPRequest&) {}
    virtual void authenticationNeededForRequest(HTTPRequest&) {}
    virtual void proxyAuthenticationNeededForRequest(HTTPRequest&) {}
    virtual void setUploadBufferSize(std::uint64_t) {}
    virtual void incrementUploadProgressBy(std::uint64_t) {}
    virtual void decrementUploadProgressBy(std::uint64_t) {}
    virtual void incrementDownloadSizeBy(std::uint64_t) {}
    virtual void incrementDownloadProgressBy(std::uint64_t) {}
};

} // namespace waterline
