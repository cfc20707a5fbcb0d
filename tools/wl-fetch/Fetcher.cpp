#include "Fetcher.h"

#include "OutputNames.h"
#include "PausingPresenter.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/CookieStorage.h>
#include <waterline/http/TerminalAuthenticationPresenter.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace waterline::fetch {

namespace {

std::string headerBlock(const HTTPRequest& request)
{
    std::string text = request.responseStatusMessage().value_or("") + "\r\n";
    if (auto headers = request.responseHeaders())
        for (const auto& [name, value] : *headers)
            text += name + ": " + value + "\r\n";
    return text + "\r\n";
}

ErrorPtr usageError(const std::string& text)
{
    return Error::create("wl-fetch", kExitUsage, text);
}

} // namespace

Fetcher::Fetcher(FetchOptions options)
    : m_options(std::move(options))
{
}

Fetcher::~Fetcher()
{
    AuthenticationDialog::setPresenter(nullptr); // it reaches this fetcher's progress bars
}

int Fetcher::run()
{
    AuthenticationDialog::setPresenter(
        std::make_shared<PausingPresenter>(std::make_shared<TerminalAuthenticationPresenter>(), [this](bool paused) {
            if (m_display)
                m_display->setPaused(paused);
        }));
    if (m_options.cookieJar) {
        if (auto loaded = CookieStorage::shared().setPersistentStorePath(*m_options.cookieJar); !loaded) {
            std::cerr << "wl-fetch: " << loaded.error()->localizedDescription() << "\n";
            return 1;
        }
    }
    auto paths = outputPathsFor(m_options);
    if (!paths) {
        std::cerr << "wl-fetch: " << paths.error()->localizedDescription() << "\n";
        return kExitUsage;
    }
    std::error_code cause;
    if (m_options.outputDir && !std::filesystem::is_directory(*m_options.outputDir, cause)) {
        std::cerr << "wl-fetch: --output-dir " << *m_options.outputDir << " is not a folder\n";
        return kExitUsage;
    }
    for (std::size_t i = 0; i < m_options.urls.size(); ++i)
        m_transfers.push_back(Transfer{.urlText = m_options.urls[i], .outputPath = (*paths)[i], .request = {}});
    applyBandwidthLimit(m_options);
    RunLoop::main().post([self = shared_from_this()] { self->startAll(); });
    RunLoop::main().run();
    return m_exitCode;
}

void Fetcher::applyBandwidthLimit(const FetchOptions& options)
{
    if (options.wwanLimit && options.limitRate)
        HTTPRequest::throttleBandwidthForWWANUsingLimit(*options.limitRate);
    else if (options.wwanLimit)
        HTTPRequest::setShouldThrottleBandwidthForWWAN(true);
    else if (options.limitRate)
        HTTPRequest::setMaxBandwidthPerSecond(*options.limitRate);
}

void Fetcher::configureQueue()
{
    m_queue = NetworkQueue::queue();
    m_queue->setDelegate(weak_from_this());
    m_queue->setRequestDidFinishSelector(std::string(kRequestFinished));
    m_queue->setRequestDidFailSelector(std::string(kRequestFailed));
    m_queue->setQueueDidFinishSelector(std::string(kQueueFinished));
    m_queue->setShouldCancelAllRequestsOnFailure(!m_options.keepGoing);
    m_queue->setShowAccurateProgress(m_options.accurateProgress);
}

bool Fetcher::wantsProgress() const
{
    return m_options.progress.value_or(::isatty(STDERR_FILENO) == 1);
}

void Fetcher::startAll()
{
    configureQueue();
    if (wantsProgress())
        m_display = std::make_unique<ProgressDisplay>(std::cerr, m_queue);
    for (auto& transfer : m_transfers) {
        auto request = makeRequest(transfer.urlText);
        if (!request) {
            transfer.reported = transfer.failed = true;
            noteFailure(request.error()->code(), request.error()->localizedDescription(), transfer.urlText);
            continue;
        }
        transfer.request = request.releaseValue();
        configureOutput(*transfer.request, transfer.outputPath);
        // Calls for credentials come to us directly; finish and failure through the queue.
        transfer.request->setDelegate(weak_from_this());
        transfer.request->setDidFinishSelector({});
        transfer.request->setDidFailSelector({});
        if (m_display)
            m_display->track(transfer.request,
                             transfer.outputPath ? transfer.outputPath->substr(transfer.outputPath->rfind('/') + 1)
                                                 : transfer.urlText);
        m_queue->addOperation(transfer.request);
    }
    if (m_queue->requestsCount() == 0) {
        finishAll();
        return;
    }
    if (m_display)
        m_display->start();
    m_queue->go();
}

void Fetcher::configureOutput(HTTPRequest& request, const std::optional<std::string>& outputPath)
{
    if (!outputPath)
        return;
    request.setDownloadDestinationPath(*outputPath);
    if (m_options.resume) {
        request.setTemporaryFileDownloadPath(*outputPath + ".part");
        request.setAllowResumeForFileDownloads(true);
    }
}

void Fetcher::finishAll()
{
    if (m_display) {
        m_display->finish();
        m_display.reset();
    }
    printReadyBodies();
    for (const auto& message : m_deferredMessages)
        std::cerr << message;
    m_deferredMessages.clear();
    RunLoop::main().stop();
}

Fetcher::Transfer* Fetcher::transferOf(const HTTPRequest& request)
{
    for (auto& transfer : m_transfers) {
        if (transfer.request.get() == &request)
            return &transfer;
    }
    return nullptr;
}

// Bodies and headers go out in the order of the URLs: each waits for those before it.
void Fetcher::printReadyBodies()
{
    // Bodies bound for the terminal wait until the progress bars are done with it.
    if (m_display && ::isatty(STDOUT_FILENO) == 1)
        return;
    for (auto& transfer : m_transfers) {
        if (!transfer.reported)
            return;
        if (transfer.printed)
            continue;
        transfer.printed = true;
        if (transfer.request && !transfer.failed)
            writeResponse(*transfer.request);
    }
}

ErrorOr<std::shared_ptr<HTTPRequest>> Fetcher::makeRequest(const std::string& text)
{
    auto url = URL::parse(text);
    if (!url)
        return usageError("not a URL: " + text);
    auto request = HTTPRequest::requestWithURL(*url);
    if (m_options.method)
        request->setRequestMethod(*m_options.method);
    auto headers = m_options.headers;
    if (m_options.userAgent)
        headers.emplace_back("User-Agent", *m_options.userAgent);
    for (const auto& [name, value] : headers) {
        if (auto added = request->addRequestHeader(name, value); !added)
            return usageError(added.error()->localizedDescription());
    }
    request->setAllowCompressedResponse(m_options.compressed);
    request->setShouldCompressRequestBody(m_options.gzipBody);
    if (m_options.timeoutSeconds)
        request->setTimeOutSeconds(*m_options.timeoutSeconds);
    request->setShouldRedirect(m_options.redirect);
    request->setUseHTTPVersionOne(m_options.httpOne);
    request->setValidatesSecureCertificate(!m_options.insecure);
    request->setCertificateAuthorityFile(m_options.caFile);
    if (m_options.proxy) {
        request->setProxyHost(m_options.proxy->first);
        request->setProxyPort(m_options.proxy->second);
    }
    if (m_options.pacURL) {
        auto pac = URL::parse(*m_options.pacURL);
        if (!pac)
            return usageError("not a URL: " + *m_options.pacURL);
        request->setPACurl(*pac);
    }
    WL_TRY(configureBody(*request));
    configureCredentials(*request);
    return request;
}

ErrorOr<void> Fetcher::configureBody(HTTPRequest& request)
{
    if (m_options.data)
        request.appendPostData(*m_options.data);
    if (m_options.dataFile) {
        std::error_code cause;
        if (!std::filesystem::is_regular_file(*m_options.dataFile, cause))
            return usageError("cannot read " + *m_options.dataFile);
        request.setShouldStreamPostDataFromDisk(true);
        request.setPostBodyFilePath(*m_options.dataFile);
    }
    return {};
}

// Prompts go to the terminal, and only when there is one and they are allowed: without
// one, missing or rejected credentials end the request at once (status 3).
void Fetcher::configureCredentials(HTTPRequest& request)
{
    if (m_options.user) {
        request.setUsername(m_options.user->user);
        request.setPassword(m_options.user->password);
    }
    request.setDomain(m_options.domain);
    if (m_options.proxyUser) {
        request.setProxyUsername(m_options.proxyUser->user);
        request.setProxyPassword(m_options.proxyUser->password);
        request.setProxyDomain(m_options.domain);
    }
    request.setUseKeychainPersistance(m_options.keychain);
    request.setUseSessionPersistance(m_options.session);
    bool mayPrompt = m_options.prompt && ::isatty(STDIN_FILENO) == 1;
    request.setShouldPresentAuthenticationDialog(mayPrompt);
    request.setShouldPresentProxyAuthenticationDialog(mayPrompt);
}

bool Fetcher::implements(std::string_view callback) const
{
    return callback == kRequestFinished || callback == kRequestFailed || callback == kQueueFinished;
}

void Fetcher::requestFinished(HTTPRequest& request)
{
    auto* transfer = transferOf(request);
    if (!transfer)
        return;
    transfer->reported = true;
    describeExchange(request);
    if (m_options.failOnHTTPError && request.responseStatusCode() >= 400) {
        transfer->failed = true;
        if (transfer->outputPath) {
            std::error_code ignored;
            std::filesystem::remove(*transfer->outputPath, ignored);
        }
        noteFailure(kExitHTTPError, "The requested URL returned error: " + std::to_string(request.responseStatusCode()),
                    transfer->urlText);
    }
    printReadyBodies();
}

void Fetcher::requestFailed(HTTPRequest& request)
{
    auto* transfer = transferOf(request);
    if (!transfer)
        return;
    transfer->reported = transfer->failed = true;
    describeExchange(request);
    auto error = request.error();
    bool ours = error && error->domain() == kHTTPRequestErrorDomain;
    noteFailure(ours ? error->code() : 1, error ? error->localizedDescription() : "unknown failure", transfer->urlText);
    printReadyBodies();
}

void Fetcher::queueFinished(NetworkQueue&)
{
    finishAll();
}

void Fetcher::writeResponse(HTTPRequest& request)
{
    std::string head = headerBlock(request);
    if (m_options.headerDumpPath) {
        if (auto written = writeFileAtomically(*m_options.headerDumpPath, head, {.durable = false}); !written)
            noteFailure(1, written.error()->localizedDescription());
    }
    if (m_options.includeHeaders)
        std::fwrite(head.data(), 1, head.size(), stdout);
    if (auto* transfer = transferOf(request); transfer && !transfer->outputPath) {
        if (auto data = request.responseData())
            std::fwrite(data->data(), 1, data->size(), stdout);
    }
    std::fflush(stdout);
}

void Fetcher::describeExchange(HTTPRequest& request)
{
    if (!m_options.verbose)
        return;
    std::cerr << "> " << request.requestMethod() << " " << (request.url() ? request.url()->string() : "") << "\n";
    if (auto headers = request.requestHeaders())
        for (const auto& [name, value] : *headers)
            std::cerr << "> " << name << ": " << value << "\n";
    if (request.responseStatusMessage())
        std::cerr << "< " << *request.responseStatusMessage() << "\n";
    if (auto headers = request.responseHeaders())
        for (const auto& [name, value] : *headers)
            std::cerr << "< " << name << ": " << value << "\n";
}

// The first failure decides the exit status. With several URLs the message names its
// URL; while progress bars are drawn it waits until they are done.
void Fetcher::noteFailure(int exitCode, const std::string& description, const std::string& urlText)
{
    std::string message = "wl-fetch: ";
    if (m_transfers.size() > 1 && !urlText.empty())
        message += urlText + ": ";
    message += description + "\n";
    if (m_display)
        m_deferredMessages.push_back(message);
    else
        std::cerr << message;
    if (m_exitCode == 0)
        m_exitCode = exitCode;
}

} // namespace waterline::fetch
