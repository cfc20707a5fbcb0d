// One HTTP request with everything that belongs to it: URL, method, headers, body,
// credentials, download target, receivers, and after it ran the response status,
// headers, body and error. It is an Operation: start() runs the whole exchange on the
// calling thread (redirects included); startAsynchronous() hands it to a shared queue
// of at most 4 workers. Either way the outcome is reported on the main thread to the
// owning queue and the delegate, each only if it implements the callback.
//
//     auto request = HTTPRequest::requestWithURL(URL::parse("https://example.com/"));
//     request->setDownloadDestinationPath("/tmp/page.html");
//     request->startSynchronous();
//     if (auto error = request->error()) report(error->localizedDescription());
//
// Requests are always std::shared_ptr (made by requestWithURL / HEADRequest); while
// it calls out, a request keeps itself alive. Every accessor is thread-safe unless
// its comment says it belongs to the request's own thread.
//
// Lock order: cancelledLock first, then the progress lock or the bandwidth lock.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/Operation.h>
#include <waterline/foundation/OperationQueue.h>
#include <waterline/http/AtomicProperty.h>
#include <waterline/http/Cookie.h>
#include <waterline/http/HTTPHeaderFields.h>
#include <waterline/http/HTTPRequestDelegate.h>
#include <waterline/http/HTTPRequestError.h>
#include <waterline/http/HTTPTransport.h>
#include <waterline/http/ProgressReceiver.h>
#include <waterline/http/ProxyEntry.h>
#include <waterline/http/TextEncoding.h>
#include <waterline/http/URL.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class HTTPRequest : public Operation {
public:
    using Bytes = std::vector<std::uint8_t>;
    using Clock = std::chrono::steady_clock;

    // Creation. A request without a URL fails with code 5 when run.
    static std::shared_ptr<HTTPRequest> requestWithURL(std::optional<URL> url);
    // A size probe: same URL, method HEAD, mainRequest = this request.
    std::shared_ptr<HTTPRequest> HEADRequest();
    ~HTTPRequest() override;

    // ---- running ----
    void startSynchronous() { start(); }
    void startAsynchronous();
    void main() override;
    void cancel() override;
    bool isFinished() const override { return m_complete.get(); }
    // At most 4 requests at a time; made on first use.
    static OperationQueue& sharedRequestQueue();

    // ---- description and configuration ----
    std::optional<URL> url() const { return m_url.get(); }
    void setURL(std::optional<URL> url) { m_url.set(std::move(url)); }
    std::string requestMethod() const { return m_requestMethod.get(); }
    void setRequestMethod(std::string method) { m_requestMethod.set(std::move(method)); }
    // Refuses (and keeps nothing of) a name or value holding CR, LF or NUL, so that
    // no caller text can add lines of its own to the request.
    ErrorOr<void> addRequestHeader(const std::string& name, const std::string& value);
    std::optional<HTTPHeaderFields> requestHeaders() const { return m_requestHeaders.get(); }
    void setRequestHeaders(std::optional<HTTPHeaderFields> headers) { m_requestHeaders.set(std::move(headers)); }

    bool allowCompressedResponse() const { return m_allowCompressedResponse.get(); }
    void setAllowCompressedResponse(bool allow) { m_allowCompressedResponse.set(allow); }
    bool shouldCompressRequestBody() const { return m_shouldCompressRequestBody.get(); }
    void setShouldCompressRequestBody(bool compress) { m_shouldCompressRequestBody.set(compress); }
    bool useHTTPVersionOne() const { return m_useHTTPVersionOne.get(); }
    void setUseHTTPVersionOne(bool use) { m_useHTTPVersionOne.set(use); }
    bool shouldRedirect() const { return m_shouldRedirect.get(); }
    void setShouldRedirect(bool redirect) { m_shouldRedirect.set(redirect); }
    bool validatesSecureCertificate() const { return m_validatesSecureCertificate.get(); }
    void setValidatesSecureCertificate(bool validates) { m_validatesSecureCertificate.set(validates); }
    // A CA bundle to trust instead of the system's store.
    std::optional<std::string> certificateAuthorityFile() const { return m_certificateAuthorityFile.get(); }
    void setCertificateAuthorityFile(std::optional<std::string> path)
    {
        m_certificateAuthorityFile.set(std::move(path));
    }
    // Seconds of inactivity before the request fails; 0 or less: never.
    double timeOutSeconds() const { return m_timeOutSeconds.get(); }
    void setTimeOutSeconds(double seconds) { m_timeOutSeconds.set(seconds); }
    TextEncoding defaultResponseEncoding() const { return m_defaultResponseEncoding.get(); }
    void setDefaultResponseEncoding(TextEncoding encoding) { m_defaultResponseEncoding.set(encoding); }
    std::optional<std::string> downloadDestinationPath() const { return m_downloadDestinationPath.get(); }
    void setDownloadDestinationPath(std::optional<std::string> path) { m_downloadDestinationPath.set(std::move(path)); }
    std::optional<std::string> temporaryFileDownloadPath() const { return m_temporaryFileDownloadPath.get(); }
    void setTemporaryFileDownloadPath(std::optional<std::string> path)
    {
        m_temporaryFileDownloadPath.set(std::move(path));
    }
    bool allowResumeForFileDownloads() const { return m_allowResumeForFileDownloads.get(); }
    void setAllowResumeForFileDownloads(bool allow) { m_allowResumeForFileDownloads.set(allow); }
    std::map<std::string, std::string> userInfo() const { return m_userInfo.get(); }
    void setUserInfo(std::map<std::string, std::string> info) { m_userInfo.set(std::move(info)); }
    std::shared_ptr<HTTPRequest> mainRequest() const { return m_mainRequest.get().lock(); }
    bool isSizeProbe() const { return m_isSizeProbe; }

    // ---- body (HTTPRequestBody.cpp) ----
    bool shouldStreamPostDataFromDisk() const { return m_shouldStreamPostDataFromDisk.get(); }
    void setShouldStreamPostDataFromDisk(bool stream) { m_shouldStreamPostDataFromDisk.set(stream); }
    std::optional<std::string> postBodyFilePath() const { return m_postBodyFilePath.get(); }
    void setPostBodyFilePath(std::optional<std::string> path) { m_postBodyFilePath.set(std::move(path)); }
    std::shared_ptr<const Bytes> postBody() const { return m_postBody.get(); }
    void setPostBody(std::shared_ptr<const Bytes> body) { m_postBody.set(std::move(body)); }
    std::uint64_t postLength() const { return m_postLength.get(); }
    bool didCreateTemporaryPostDataFile() const { return m_didCreateTemporaryPostDataFile.get(); }
    void setupPostBody();
    void appendPostData(std::span<const std::uint8_t> data);
    void appendPostData(std::string_view data);
    void appendPostDataFromFile(const std::string& path);
    // Finalises the body, its length, the method and Content-Length; runs once.
    void buildPostBody();
    void removePostDataFile();

    // ---- headers (HTTPRequestHeaders.cpp) ----
    void buildRequestHeaders();
    static std::optional<std::string> defaultUserAgentString();
    std::vector<Cookie> requestCookies() const { return m_requestCookies.get(); }
    void setRequestCookies(std::vector<Cookie> cookies) { m_requestCookies.set(std::move(cookies)); }
    bool useCookiePersistance() const { return m_useCookiePersistance.get(); }
    void setUseCookiePersistance(bool use) { m_useCookiePersistance.set(use); }
    std::uint64_t partialDownloadSize() const { return m_partialDownloadSize.get(); }

    // ---- receivers ----
    std::shared_ptr<HTTPRequestDelegate> delegate() const { return m_delegate.get().lock(); }
    void setDelegate(std::weak_ptr<HTTPRequestDelegate> delegate);
    std::shared_ptr<HTTPRequestQueue> queue() const { return m_queue.get().lock(); }
    void setQueue(std::weak_ptr<HTTPRequestQueue> queue);
    std::string didFinishSelector() const { return m_didFinishSelector.get(); }
    void setDidFinishSelector(std::string selector) { m_didFinishSelector.set(std::move(selector)); }
    std::string didFailSelector() const { return m_didFailSelector.get(); }
    void setDidFailSelector(std::string selector) { m_didFailSelector.set(std::move(selector)); }

    // ---- credentials and proxy (kept for the authentication layer) ----
    std::optional<std::string> username() const { return m_username.get(); }
    void setUsername(std::optional<std::string> value) { m_username.set(std::move(value)); }
    std::optional<std::string> password() const { return m_password.get(); }
    void setPassword(std::optional<std::string> value) { m_password.set(std::move(value)); }
    std::optional<std::string> domain() const { return m_domain.get(); }
    void setDomain(std::optional<std::string> value) { m_domain.set(std::move(value)); }
    std::optional<std::string> proxyUsername() const { return m_proxyUsername.get(); }
    void setProxyUsername(std::optional<std::string> value) { m_proxyUsername.set(std::move(value)); }
    std::optional<std::string> proxyPassword() const { return m_proxyPassword.get(); }
    void setProxyPassword(std::optional<std::string> value) { m_proxyPassword.set(std::move(value)); }
    std::optional<std::string> proxyHost() const { return m_proxyHost.get(); }
    void setProxyHost(std::optional<std::string> host) { m_proxyHost.set(std::move(host)); }
    int proxyPort() const { return m_proxyPort.get(); }
    void setProxyPort(int port) { m_proxyPort.set(port); }
    std::optional<URL> PACurl() const { return m_PACurl.get(); }
    void setPACurl(std::optional<URL> url) { m_PACurl.set(std::move(url)); }
    bool authenticationChallengeInProgress() const { return m_authenticationChallengeInProgress.get(); }
    bool needsProxyAuthentication() const { return m_needsProxyAuthentication.get(); }

    // ---- authentication (HTTPRequestAuthentication.cpp) ----
    std::optional<std::string> proxyDomain() const { return m_proxyDomain.get(); }
    void setProxyDomain(std::optional<std::string> value) { m_proxyDomain.set(std::move(value)); }
    // The scheme and realm of the last server / proxy challenge ("Basic", "Digest", "NTLM").
    std::optional<std::string> authenticationScheme() const { return m_authenticationScheme.get(); }
    std::optional<std::string> authenticationRealm() const { return m_authenticationRealm.get(); }
    std::optional<std::string> proxyAuthenticationScheme() const { return m_proxyAuthenticationScheme.get(); }
    std::optional<std::string> proxyAuthenticationRealm() const { return m_proxyAuthenticationRealm.get(); }
    bool shouldPresentAuthenticationDialog() const { return m_shouldPresentAuthenticationDialog.get(); }
    void setShouldPresentAuthenticationDialog(bool present) { m_shouldPresentAuthenticationDialog.set(present); }
    bool shouldPresentProxyAuthenticationDialog() const { return m_shouldPresentProxyAuthenticationDialog.get(); }
    void setShouldPresentProxyAuthenticationDialog(bool present)
    {
        m_shouldPresentProxyAuthenticationDialog.set(present);
    }
    // Main thread, by whoever was asked for credentials: retry with the credential
    // fields just set, or give up ("Authentication needed").
    void retryUsingSuppliedCredentials();
    void cancelAuthentication();

    // ---- progress (HTTPRequestProgress.cpp) ----
    std::shared_ptr<ProgressReceiver> uploadProgressDelegate() const { return m_uploadProgressDelegate.get().lock(); }
    void setUploadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver);
    std::shared_ptr<ProgressReceiver> downloadProgressDelegate() const
    {
        return m_downloadProgressDelegate.get().lock();
    }
    void setDownloadProgressDelegate(std::weak_ptr<ProgressReceiver> receiver);
    bool showAccurateProgress() const { return m_showAccurateProgress.get(); }
    void setShowAccurateProgress(bool accurate) { m_showAccurateProgress.set(accurate); }
    bool shouldResetProgressIndicators() const { return m_shouldResetProgressIndicators.get(); }
    void setShouldResetProgressIndicators(bool reset) { m_shouldResetProgressIndicators.set(reset); }
    // Delivers `progress` to `receiver` on the main thread (waiting only when called
    // there); a receiver with neither operation is left alone. Any thread.
    static void setProgress(double progress, const std::shared_ptr<ProgressReceiver>& receiver);

    // ---- bandwidth (HTTPRequestBandwidth.cpp); process-wide, any thread ----
    // Bytes per second shared by every request; 0: no limit.
    static std::uint32_t maxBandwidthPerSecond();
    static void setMaxBandwidthPerSecond(std::uint32_t bytesPerSecond);
    // Throttle only while on a carrier network, to 14800 bytes per second / `limit`.
    static void setShouldThrottleBandwidthForWWAN(bool throttle);
    static void throttleBandwidthForWWANUsingLimit(std::uint32_t limit);
    // Reads the carrier-network state again from the shared reachability monitor.
    static void reachabilityChanged();
    // True while the limit applies (a limit of 0 never applies).
    static bool isBandwidthThrottled();
    // Counts received or sent bytes against the current one-second window.
    static void incrementBandwidthUsedInLastSecond(std::uint64_t bytes);
    // Gives back bytes counted for a read that returned fewer.
    static void returnUnusedBandwidth(std::uint64_t bytes);
    // The mean of the last few windows' usage.
    static std::uint32_t averageBandwidthUsedPerSecond();
    // Body bytes that may be read now: a quarter of the limit cut to what the window
    // allows; 0 when nothing may be read yet. Never waits.
    static std::uint32_t maxUploadReadLength();
    // The length of the next response read: `wanted` unless throttled, then a quarter
    // of what the window allows; 0 when nothing may be read yet.
    static std::size_t bandwidthLimitedReadLength(std::size_t wanted);

    // ---- outcome ----
    bool complete() const { return m_complete.get(); }
    ErrorPtr error() const { return m_error.get(); }
    int responseStatusCode() const { return m_responseStatusCode.get(); }
    std::optional<std::string> responseStatusMessage() const { return m_responseStatusMessage.get(); }
    std::optional<HTTPHeaderFields> responseHeaders() const { return m_responseHeaders.get(); }
    std::vector<Cookie> responseCookies() const { return m_responseCookies.get(); }
    std::uint64_t contentLength() const { return m_contentLength.get(); }
    TextEncoding responseEncoding() const { return m_responseEncoding.get(); }
    std::uint64_t totalBytesRead() const { return m_totalBytesRead.get(); }
    std::uint64_t totalBytesSent() const { return m_totalBytesSent.get(); }
    int redirectCount() const { return m_redirectCount; }
    // The body as received (possibly gzip); none for file downloads.
    std::shared_ptr<const Bytes> rawResponseData() const;
    // The body, decompressed when the response is gzip-encoded (a new copy per call;
    // none when decompression fails).
    std::optional<Bytes> responseData() const;
    std::optional<std::string> responseString() const;
    bool isResponseCompressed() const;

    // ---- notification points ----
    void requestFinished();
    void failWithError(ErrorPtr error);

    // ---- the connection (HTTPRequestConnection.cpp); the request's own thread ----
    void loadRequest();
    void startRequest();
    void handleNetworkEvent(HTTPTransport::Event event);
    void handleBytesAvailable();
    void handleStreamComplete();
    void handleStreamError();
    // The size of the next read: larger for longer announced bodies.
    std::size_t readBufferSize() const;
    bool readResponseHeadersReturningAuthenticationFailure();
    void cancelLoad();
    void removeTemporaryDownloadFile();
    // The proxies the PAC script at `pacURL` (file:, or http(s): fetched directly by a
    // request of its own) gives for `url`; none when it cannot be loaded or evaluated.
    static std::optional<std::vector<ProxyEntry>> proxiesForURL(const URL& url, const URL& pacURL);

    // ---- seams for the authentication, progress and bandwidth layers ----
    void applyAuthorizationHeader() {}
    void attemptToApplyCredentialsAndResume();
    void updateProgressIndicators();
    void updateUploadProgress();
    void updateDownloadProgress();
    void resetUploadProgress(std::uint64_t size);
    void resetDownloadProgress(std::uint64_t size);
    void removeUploadProgressSoFar();
    // Waits (in short steps that see a cancel) while the shared allowance is spent;
    // the wait does not count toward the inactivity time-out.
    void measureBandwidthUsage();
    static std::optional<std::size_t> receiveBufferLimitForThrottling();
    std::uint64_t uploadBufferSize() const { return m_uploadBufferSize; }

    static std::string mimeTypeForFileAtPath(const std::string&) { return "application/octet-stream"; }

    std::recursive_mutex& cancelledLock() const { return m_cancelledLock; }

protected:
    explicit HTTPRequest(std::optional<URL> url);

private:
    std::shared_ptr<HTTPRequest> self() { return std::static_pointer_cast<HTTPRequest>(shared_from_this()); }
    void runExchange();
    void setError(ErrorPtr error) { m_error.set(std::move(error)); }
    void notifyOnMainThread(std::function<void(HTTPRequest&)> call);
    bool openBodyForSending(HTTPTransportMessage& message);
    ErrorOr<std::optional<HTTPProxy>> chooseProxy();
    static std::optional<std::string> loadPACScriptText(const URL& pacURL);
    ErrorOr<void> writeToDownloadFile(std::span<const std::uint8_t> bytes);
    ErrorPtr finishDownloadFile();
    void takeContentLength(const HTTPHeaderFields& fields);
    void takeContentType(const HTTPHeaderFields& fields);
    void takeCookies(const ResponseHeaderBlock& block);
    void noteRedirect(const HTTPHeaderFields& fields);
    bool hasTimedOut(Clock::time_point now) const;
    void followRedirect();
    void dropBody();
    void dropCredentialsForAnotherOrigin(const URL& target);
    enum class BodyFiles { Remove, Keep };
    void cancelLoad(BodyFiles);
    void closeReadStream();

    AtomicProperty<std::optional<URL>> m_url;
    AtomicProperty<std::weak_ptr<HTTPRequestDelegate>> m_delegate;
    AtomicProperty<std::weak_ptr<HTTPRequestQueue>> m_queue;
    AtomicProperty<std::string> m_requestMethod{std::string("GET")};
    AtomicProperty<std::shared_ptr<const Bytes>> m_postBody;
    std::shared_ptr<const Bytes> m_compressedPostBody;
    AtomicProperty<bool> m_shouldStreamPostDataFromDisk{false};
    AtomicProperty<std::optional<std::string>> m_postBodyFilePath;
    std::optional<std::string> m_compressedPostBodyFilePath;
    AtomicProperty<bool> m_didCreateTemporaryPostDataFile{false};
    FileDescriptor m_postBodyWriteStream;
    AtomicProperty<std::optional<HTTPHeaderFields>> m_requestHeaders;
    AtomicProperty<bool> m_haveBuiltRequestHeaders{false};
    AtomicProperty<std::optional<HTTPHeaderFields>> m_responseHeaders;
    AtomicProperty<std::vector<Cookie>> m_requestCookies;
    AtomicProperty<std::vector<Cookie>> m_responseCookies;
    AtomicProperty<bool> m_useCookiePersistance{true};
    AtomicProperty<bool> m_allowCompressedResponse{true};
    AtomicProperty<bool> m_shouldCompressRequestBody{false};
    AtomicProperty<std::optional<std::string>> m_downloadDestinationPath;
    AtomicProperty<std::optional<std::string>> m_temporaryFileDownloadPath;
    FileDescriptor m_fileDownloadOutputStream;
    AtomicProperty<bool> m_complete{false};
    AtomicProperty<ErrorPtr> m_error;
    AtomicProperty<std::optional<std::string>> m_username, m_password, m_domain;
    AtomicProperty<std::optional<std::string>> m_proxyUsername, m_proxyPassword, m_proxyDomain;
    AtomicProperty<std::shared_ptr<Bytes>> m_rawResponseData;
    std::unique_ptr<HTTPTransport> m_readStream;
    std::vector<std::unique_ptr<HTTPTransport>> m_retiredStreams; // closed; destroyed outside their callbacks
    AtomicProperty<bool> m_needsProxyAuthentication{false};
    AtomicProperty<bool> m_authenticationChallengeInProgress{false};
    AtomicProperty<std::optional<std::string>> m_authenticationScheme, m_authenticationRealm;
    AtomicProperty<std::optional<std::string>> m_proxyAuthenticationScheme, m_proxyAuthenticationRealm;
    AtomicProperty<bool> m_shouldPresentAuthenticationDialog{false};
    AtomicProperty<bool> m_shouldPresentProxyAuthenticationDialog{true};
    AtomicProperty<std::weak_ptr<ProgressReceiver>> m_uploadProgressDelegate, m_downloadProgressDelegate;
    AtomicProperty<bool> m_showAccurateProgress{true};
    AtomicProperty<bool> m_shouldResetProgressIndicators{true};
    AtomicProperty<int> m_responseStatusCode{0};
    AtomicProperty<std::optional<std::string>> m_responseStatusMessage;
    AtomicProperty<std::uint64_t> m_contentLength{0};
    AtomicProperty<std::uint64_t> m_partialDownloadSize{0};
    AtomicProperty<std::uint64_t> m_postLength{0};
    AtomicProperty<std::uint64_t> m_totalBytesRead{0};
    AtomicProperty<std::uint64_t> m_totalBytesSent{0};
    std::uint64_t m_lastBytesRead = 0;
    std::uint64_t m_lastBytesSent = 0;
    mutable std::recursive_mutex m_cancelledLock;
    // Raised by cancel() before it waits for cancelledLock, so that a loop pass
    // waiting for bandwidth can give up at once.
    std::atomic<bool> m_cancelRequested{false};
    bool m_updatedProgress = false;
    // How far the current attempt's upload was reported to the queue, and how much.
    std::uint64_t m_uploadPosition = 0;
    std::uint64_t m_uploadProgressCounted = 0;
    AtomicProperty<std::string> m_didFinishSelector{std::string(HTTPRequestDelegate::kRequestFinished)};
    AtomicProperty<std::string> m_didFailSelector{std::string(HTTPRequestDelegate::kRequestFailed)};
    std::optional<Clock::time_point> m_lastActivityTime;
    AtomicProperty<double> m_timeOutSeconds{10.0};
    AtomicProperty<std::weak_ptr<HTTPRequest>> m_mainRequest;
    bool m_isSizeProbe = false;
    bool m_haveBuiltPostBody = false;
    std::uint64_t m_uploadBufferSize = 0;
    AtomicProperty<TextEncoding> m_defaultResponseEncoding{kISOLatin1TextEncoding};
    AtomicProperty<TextEncoding> m_responseEncoding{0};
    AtomicProperty<bool> m_allowResumeForFileDownloads{false};
    AtomicProperty<std::map<std::string, std::string>> m_userInfo;
    AtomicProperty<bool> m_useHTTPVersionOne{false};
    AtomicProperty<bool> m_shouldRedirect{true};
    bool m_needsRedirect = false;
    int m_redirectCount = 0;
    AtomicProperty<bool> m_validatesSecureCertificate{true};
    AtomicProperty<std::optional<std::string>> m_certificateAuthorityFile;
    AtomicProperty<std::optional<std::string>> m_proxyHost;
    AtomicProperty<int> m_proxyPort{0};
    AtomicProperty<std::optional<URL>> m_PACurl;
    // Set on the request that fetches a PAC script: it must not consult proxies itself.
    bool m_connectsDirectly = false;
    // The host the caller's credentials and cookies were meant for; a redirect
    // elsewhere drops them.
    std::optional<URL> m_originalURL;
};

} // namespace waterline
