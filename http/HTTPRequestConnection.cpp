// The engine of a request: one connection attempt at a time through the transport, a
// private run-loop mode served in 0.25 s slices until the request is complete, the
// response header block (status, length, charset, cookies, redirects, challenges),
// the body into memory or a file (with resume), and the end of a download.
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/foundation/TemporaryPath.h>
#include <waterline/http/CookieStorage.h>
#include <waterline/http/GzipCodec.h>
#include <waterline/http/HTTPRequest.h>

#include <fcntl.h>

#include <charconv>
#include <filesystem>
#include <system_error>

namespace waterline {

namespace {

constexpr double kLoopSliceSeconds = 0.25;
constexpr int kRedirectLimit = 5;

ErrorPtr fileOperationError(std::string description, int errnum = 0)
{
    return HTTPRequestErrors::make(HTTPRequestErrorCode::FileOperationFailure, std::move(description),
                                   errnum ? Error::fromErrno(errnum) : ErrorPtr{});
}

ErrorPtr streamSetupError(std::string description, ErrorPtr underlying = {})
{
    return HTTPRequestErrors::make(HTTPRequestErrorCode::StreamSetupFailure, std::move(description),
                                   std::move(underlying));
}

bool isFollowedRedirectStatus(int status)
{
    return status > 300 && status < 308 && status != 304;
}

bool sameOrigin(const URL& a, const URL& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.effectivePort() == b.effectivePort();
}

// A file moved into place; across file systems by copying.
std::error_code moveFile(const std::string& from, const std::string& to)
{
    std::error_code cause;
    std::filesystem::rename(from, to, cause);
    if (cause == std::errc::cross_device_link) {
        cause.clear();
        std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, cause);
        if (!cause)
            std::filesystem::remove(from, cause);
    }
    return cause;
}

} // namespace

void HTTPRequest::loadRequest()
{
    startRequest();
    while (true) {
        if (complete())
            return;
        std::unique_lock lock(m_cancelledLock);
        if (isCancelled() || complete())
            return;
        m_retiredStreams.clear();
        auto now = Clock::now();
        if (hasTimedOut(now)) {
            failWithError(HTTPRequestErrors::requestTimedOut());
            cancelLoad();
            m_complete.set(true);
            return;
        }
        if (m_needsRedirect) {
            cancelLoad(BodyFiles::Keep);
            m_needsRedirect = false;
            if (++m_redirectCount <= kRedirectLimit) {
                lock.unlock();
                runExchange();
                return;
            }
            failWithError(HTTPRequestErrors::tooManyRedirects());
            m_complete.set(true);
            return;
        }
        if (totalBytesSent() > m_lastBytesSent) {
            m_lastActivityTime = now;
            m_lastBytesSent = totalBytesSent();
        }
        if (m_readStream)
            m_totalBytesSent.set(m_readStream->requestBytesWritten());
        updateProgressIndicators();
        measureBandwidthUsage();
        RunLoop::current().runMode(kHTTPRequestMode, kLoopSliceSeconds, true);
    }
}

// Silent for longer than the time-out. A body of which nothing was sent yet earns no
// grace: the transport counts body bytes as they reach the connection, so "nothing
// sent" means the connection itself is silent (time spent waiting for bandwidth is
// not counted; see measureBandwidthUsage).
bool HTTPRequest::hasTimedOut(Clock::time_point now) const
{
    double limit = timeOutSeconds();
    if (!m_lastActivityTime || limit <= 0)
        return false;
    return std::chrono::duration<double>(now - *m_lastActivityTime).count() > limit;
}

void HTTPRequest::startRequest()
{
    std::lock_guard guard(m_cancelledLock);
    if (isCancelled())
        return;
    m_complete.set(false);
    m_totalBytesRead.set(0);
    m_lastBytesRead = 0;
    if (m_lastBytesSent > 0 || m_uploadProgressCounted > 0)
        removeUploadProgressSoFar();
    m_lastBytesSent = 0;
    m_uploadPosition = 0;
    if (shouldResetProgressIndicators()) {
        m_contentLength.set(0);
        resetDownloadProgress(0);
    }
    m_responseHeaders.set(std::nullopt);
    if (!downloadDestinationPath())
        m_rawResponseData.set(std::make_shared<Bytes>());

    HTTPTransportMessage message{.method = requestMethod(), .url = *url()};
    message.version = useHTTPVersionOne() ? HTTPVersion::HTTP1_0 : HTTPVersion::HTTP1_1;
    message.headers = requestHeaders().value_or(HTTPHeaderFields{});
    message.validatesSecureCertificate = validatesSecureCertificate();
    message.certificateAuthorityFile = certificateAuthorityFile();
    message.receiveBufferLimit = receiveBufferLimitForThrottling();
    if (!openBodyForSending(message)) {
        failWithError(streamSetupError("Unable to create read stream"));
        return;
    }
    auto proxy = chooseProxy();
    if (!proxy) {
        failWithError(
            streamSetupError("Unable to obtain information on proxy servers needed for request", proxy.error()));
        return;
    }
    message.proxy = *proxy;
    auto transport
        = HTTPTransport::open(std::move(message), [this](HTTPTransport::Event event) { handleNetworkEvent(event); });
    if (!transport) {
        failWithError(streamSetupError("Unable to start HTTP connection", transport.error()));
        return;
    }
    m_readStream = transport.releaseValue();
    if (shouldResetProgressIndicators())
        resetUploadProgress(showAccurateProgress() ? postLength() : 1);
    m_lastActivityTime = Clock::now();
}

void HTTPRequest::handleNetworkEvent(HTTPTransport::Event event)
{
    std::lock_guard guard(m_cancelledLock);
    if (complete() || isCancelled())
        return;
    switch (event) {
    case HTTPTransport::Event::BytesAvailable:
        handleBytesAvailable();
        break;
    case HTTPTransport::Event::Error:
        handleStreamError();
        break;
    case HTTPTransport::Event::Complete:
        handleStreamComplete();
        break;
    }
}

std::size_t HTTPRequest::readBufferSize() const
{
    auto length = contentLength();
    return length > 262144 ? 65536 : length > 65536 ? 16384 : 2048;
}

void HTTPRequest::handleBytesAvailable()
{
    if (!responseHeaders() && readResponseHeadersReturningAuthenticationFailure()) {
        attemptToApplyCredentialsAndResume();
        return;
    }
    if (m_needsRedirect || !responseHeaders() || !m_readStream)
        return;
    Bytes buffer(bandwidthLimitedReadLength(readBufferSize()));
    std::size_t count = m_readStream->read(buffer);
    if (count == 0)
        return;
    m_totalBytesRead.add(count);
    m_lastActivityTime = Clock::now();
    incrementBandwidthUsedInLastSecond(count);
    std::span<const std::uint8_t> bytes(buffer.data(), count);
    if (downloadDestinationPath()) {
        if (auto written = writeToDownloadFile(bytes); !written) {
            cancelLoad();
            failWithError(written.error());
        }
        return;
    }
    m_rawResponseData.modify([&](std::shared_ptr<Bytes>& data) {
        if (data)
            data->insert(data->end(), bytes.begin(), bytes.end());
    });
}

// A failed write is reported rather than leaving a download with a hole in it.
ErrorOr<void> HTTPRequest::writeToDownloadFile(std::span<const std::uint8_t> bytes)
{
    if (!m_fileDownloadOutputStream) {
        auto path = temporaryFileDownloadPath();
        bool append = path && allowResumeForFileDownloads();
        if (!path) {
            path = temporaryFilePath();
            setTemporaryFileDownloadPath(path);
        }
        auto file = FileDescriptor::open(*path, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
        if (!file)
            return HTTPRequestErrors::make(HTTPRequestErrorCode::FileOperationFailure,
                                           "Failed to open file at path '" + *path + "'", file.error());
        m_fileDownloadOutputStream = file.releaseValue();
    }
    if (auto written = writeAll(m_fileDownloadOutputStream.get(), bytes); !written)
        return HTTPRequestErrors::make(
            HTTPRequestErrorCode::FileOperationFailure,
            "Failed to write to file at path '" + temporaryFileDownloadPath().value_or("") + "'", written.error());
    return {};
}

bool HTTPRequest::readResponseHeadersReturningAuthenticationFailure()
{
    m_authenticationChallengeInProgress.set(false);
    m_needsProxyAuthentication.set(false);
    const ResponseHeaderBlock* block = m_readStream ? m_readStream->responseHeader() : nullptr;
    if (!block)
        return false;
    m_responseHeaders.set(block->fields);
    m_responseStatusCode.set(block->statusCode);
    m_responseStatusMessage.set(block->statusLine);
    if (block->statusCode == 407) {
        m_needsProxyAuthentication.set(true);
        m_authenticationChallengeInProgress.set(true);
        return true;
    }
    if (block->statusCode == 401) {
        m_authenticationChallengeInProgress.set(true);
        return true;
    }
    takeContentLength(block->fields);
    takeContentType(block->fields);
    takeCookies(*block);
    noteRedirect(block->fields);
    return false;
}

// Only a plain decimal number counts; a negative, signed or otherwise garbled length
// is treated as absent rather than read as a huge or partial number.
void HTTPRequest::takeContentLength(const HTTPHeaderFields& fields)
{
    auto text = fields.get("Content-Length");
    if (!text)
        return;
    std::uint64_t length = 0;
    auto [end, failure] = std::from_chars(text->data(), text->data() + text->size(), length);
    if (failure != std::errc{} || end != text->data() + text->size())
        length = 0;
    m_contentLength.set(length);
    if (auto main = mainRequest(); main && m_isSizeProbe)
        main->m_contentLength.set(length);
    if (showAccurateProgress() && shouldResetProgressIndicators())
        resetDownloadProgress(length + partialDownloadSize());
}

// The charset parameter of Content-Type, when it names an encoding we know; quotes
// around the name are allowed.
void HTTPRequest::takeContentType(const HTTPHeaderFields& fields)
{
    TextEncoding encoding = defaultResponseEncoding();
    if (auto type = fields.get("Content-Type")) {
        std::string_view text = *type;
        text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
        auto at = text.find("charset=");
        if (at != std::string_view::npos && at > 0) {
            auto name = text.substr(at + 8);
            name = name.substr(0, name.find(';'));
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
                name.remove_suffix(1);
            if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
                name = name.substr(1, name.size() - 2);
            encoding = textEncodingForCharsetName(name).value_or(encoding);
        }
    }
    m_responseEncoding.set(encoding);
}

void HTTPRequest::takeCookies(const ResponseHeaderBlock& block)
{
    auto target = url();
    std::vector<Cookie> cookies;
    for (const auto& [name, value] : block.fieldLines) {
        if (!HTTPHeaderFields::namesEqual(name, "Set-Cookie"))
            continue;
        if (auto cookie = Cookie::parse(value, *target))
            cookies.push_back(std::move(*cookie));
    }
    m_responseCookies.set(cookies);
    if (useCookiePersistance() && !cookies.empty())
        (void)CookieStorage::shared().setCookies(cookies, *target);
}

// Marks a redirect to follow: only to http and https, relative targets resolved
// against the current URL.
void HTTPRequest::noteRedirect(const HTTPHeaderFields& fields)
{
    auto location = fields.get("Location");
    if (!shouldRedirect() || !location || !isFollowedRedirectStatus(responseStatusCode()))
        return;
    auto target = url()->resolve(*location);
    if (!target || (target->scheme() != "http" && target->scheme() != "https"))
        return;
    if (responseStatusCode() == 303) {
        setRequestMethod("GET");
        dropBody();
        m_requestHeaders.set(std::nullopt);
    }
    dropCredentialsForAnotherOrigin(*target);
    m_haveBuiltRequestHeaders.set(false);
    setURL(*target);
    m_needsRedirect = true;
    m_requestCookies.set({});
}

void HTTPRequest::dropBody()
{
    setPostBody(nullptr);
    m_compressedPostBody.reset();
    m_postLength.set(0);
    if (m_didCreateTemporaryPostDataFile.get()) {
        removePostDataFile();
        m_didCreateTemporaryPostDataFile.set(false);
    }
    setPostBodyFilePath(std::nullopt);
    m_compressedPostBodyFilePath.reset();
    setShouldStreamPostDataFromDisk(false);
}

// What the caller meant for the first host (or for a secure connection) is not sent
// to another origin: credentials, cookies and proxy credentials are dropped.
void HTTPRequest::dropCredentialsForAnotherOrigin(const URL& target)
{
    auto current = url();
    if (current && sameOrigin(*current, target))
        return;
    m_requestHeaders.modify([](std::optional<HTTPHeaderFields>& headers) {
        if (!headers)
            return;
        headers->remove("Authorization");
        headers->remove("Cookie");
        headers->remove("Proxy-Authorization");
    });
    setUsername(std::nullopt);
    setPassword(std::nullopt);
    setDomain(std::nullopt);
    setProxyUsername(std::nullopt);
    setProxyPassword(std::nullopt);
    m_proxyDomain.set(std::nullopt);
}

void HTTPRequest::handleStreamComplete()
{
    if (!responseHeaders() && readResponseHeadersReturningAuthenticationFailure()) {
        attemptToApplyCredentialsAndResume();
        return;
    }
    if (m_needsRedirect)
        return;
    m_complete.set(true);
    updateProgressIndicators();
    closeReadStream();
    if (m_didCreateTemporaryPostDataFile.get())
        removePostDataFile();
    if (auto failure = finishDownloadFile())
        failWithError(std::move(failure));
    else
        requestFinished();
}

// Puts a finished download at its destination, decompressing a gzip-encoded one.
// Decompression goes to a file of its own first, so that a corrupt download never
// replaces what was at the destination.
ErrorPtr HTTPRequest::finishDownloadFile()
{
    auto temporary = temporaryFileDownloadPath();
    auto destination = downloadDestinationPath();
    if (!temporary || !destination)
        return {};
    (void)m_fileDownloadOutputStream.close();
    ErrorPtr failure;
    if (isResponseCompressed()) {
        std::string inflated = temporaryFilePath();
        int result = GzipCodec::uncompressZippedDataFromFile(*temporary, inflated);
        if (result != GzipCodec::kSuccess) {
            failure = fileOperationError("Decompression of " + *temporary + " failed with code "
                                         + std::to_string(static_cast<short>(result)));
            std::error_code ignored;
            std::filesystem::remove(inflated, ignored);
        } else if (auto cause = moveFile(inflated, *destination)) {
            failure = fileOperationError("Failed to move file from '" + inflated + "' to '" + *destination + "'",
                                         cause.value());
        }
        removeTemporaryDownloadFile();
        return failure;
    }
    std::error_code cause;
    if (std::filesystem::exists(*destination, cause) && !std::filesystem::remove(*destination, cause))
        return fileOperationError("Unable to remove file at path '" + *destination + "'", cause.value());
    if (auto moved = moveFile(*temporary, *destination))
        failure = fileOperationError("Failed to move file from '" + *temporary + "' to '" + *destination + "'",
                                     moved.value());
    setTemporaryFileDownloadPath(std::nullopt);
    return failure;
}

void HTTPRequest::handleStreamError()
{
    ErrorPtr streamError = m_readStream ? m_readStream->streamError() : ErrorPtr{};
    bool secure = m_readStream && m_readStream->failedInSecureConnection();
    cancelLoad();
    m_complete.set(true);
    if (error())
        return;
    std::string description = HTTPRequestErrors::kConnectionFailureText;
    if (secure)
        description += ": SSL problem (possibily a bad/expired/self-signed certificate)";
    failWithError(
        HTTPRequestErrors::make(HTTPRequestErrorCode::ConnectionFailure, description, std::move(streamError)));
}

// Takes the transport out of use; it is destroyed later, outside its own callbacks
// and on the request's thread.
void HTTPRequest::closeReadStream()
{
    if (!m_readStream)
        return;
    m_readStream->close();
    m_retiredStreams.push_back(std::move(m_readStream));
}

void HTTPRequest::cancelLoad()
{
    cancelLoad(BodyFiles::Remove);
}

void HTTPRequest::cancelLoad(BodyFiles bodyFiles)
{
    std::lock_guard guard(m_cancelledLock);
    closeReadStream();
    if (rawResponseData()) {
        m_rawResponseData.set(nullptr);
    } else if (temporaryFileDownloadPath()) {
        (void)m_fileDownloadOutputStream.close();
        if (!allowResumeForFileDownloads())
            removeTemporaryDownloadFile();
    }
    if (bodyFiles == BodyFiles::Remove && !authenticationChallengeInProgress()
        && m_didCreateTemporaryPostDataFile.get()) {
        removePostDataFile();
        m_didCreateTemporaryPostDataFile.set(false);
    }
    m_responseHeaders.set(std::nullopt);
}

void HTTPRequest::removeTemporaryDownloadFile()
{
    if (auto path = temporaryFileDownloadPath()) {
        std::error_code cause;
        if (std::filesystem::exists(*path, cause) && !std::filesystem::remove(*path, cause))
            failWithError(fileOperationError("Failed to delete file at path '" + *path + "'", cause.value()));
    }
    setTemporaryFileDownloadPath(std::nullopt);
}

// Until the authentication layer answers challenges, a challenge the request cannot
// meet ends it as "Authentication needed".
void HTTPRequest::attemptToApplyCredentialsAndResume()
{
    if (error() || isCancelled())
        return;
    cancelLoad();
    failWithError(HTTPRequestErrors::authenticationNeeded());
}

} // namespace waterline
