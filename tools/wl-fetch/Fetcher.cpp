#include "Fetcher.h"

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

int Fetcher::run()
{
    AuthenticationDialog::setPresenter(std::make_shared<TerminalAuthenticationPresenter>());
    if (m_options.cookieJar) {
        if (auto loaded = CookieStorage::shared().setPersistentStorePath(*m_options.cookieJar); !loaded) {
            std::cerr << "wl-fetch: " << loaded.error()->localizedDescription() << "\n";
            return 1;
        }
    }
    RunLoop::main().post([self = shared_from_this()] { self->startNext(); });
    RunLoop::main().run();
    return m_exitCode;
}

void Fetcher::startNext()
{
    if (m_next >= m_options.urls.size()) {
        finishAll();
        return;
    }
    auto request = makeRequest(m_options.urls[m_next++]);
    if (!request) {
        auto error = request.error();
        noteFailure(error->code(), error->localizedDescription());
        startNext();
        return;
    }
    m_current = request.releaseValue();
    m_current->setDelegate(weak_from_this());
    m_current->startAsynchronous();
}

void Fetcher::finishAll()
{
    RunLoop::main().stop();
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
    if (m_options.outputPath) {
        request->setDownloadDestinationPath(*m_options.outputPath);
        if (m_options.resume) {
            request->setTemporaryFileDownloadPath(*m_options.outputPath + ".part");
            request->setAllowResumeForFileDownloads(true);
        }
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
    return callback == kRequestFinished || callback == kRequestFailed;
}

void Fetcher::requestFinished(HTTPRequest& request)
{
    describeExchange(request);
    if (m_options.failOnHTTPError && request.responseStatusCode() >= 400) {
        if (m_options.outputPath) {
            std::error_code ignored;
            std::filesystem::remove(*m_options.outputPath, ignored);
        }
        noteFailure(kExitHTTPError,
                    "The requested URL returned error: " + std::to_string(request.responseStatusCode()));
    } else {
        writeResponse(request);
    }
    startNext();
}

void Fetcher::requestFailed(HTTPRequest& request)
{
    describeExchange(request);
    auto error = request.error();
    bool ours = error && error->domain() == kHTTPRequestErrorDomain;
    noteFailure(ours ? error->code() : 1, error ? error->localizedDescription() : "unknown failure");
    startNext();
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
    if (!m_options.outputPath) {
        if (auto body = request.responseData())
            std::fwrite(body->data(), 1, body->size(), stdout);
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

// The first failure decides the exit status.
void Fetcher::noteFailure(int exitCode, const std::string& description)
{
    std::cerr << "wl-fetch: " << description << "\n";
    if (m_exitCode == 0)
        m_exitCode = exitCode;
}

} // namespace waterline::fetch
