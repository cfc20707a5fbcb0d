// The request's header dictionary: the caller's headers, cookies, the user agent,
// content negotiation and, when a download resumes, the byte range.
#include <waterline/http/CookieStorage.h>
#include <waterline/http/HTTPRequest.h>

#include <sys/utsname.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef WATERLINE_APPLICATION_NAME
#error "the build names the application (WATERLINE_APPLICATION_NAME)"
#endif
#ifndef WATERLINE_APPLICATION_VERSION
#error "the build gives the version (WATERLINE_APPLICATION_VERSION)"
#endif

namespace waterline {

namespace {

// The locale identifier of the environment ("en_US" from "en_US.UTF-8"), by the
// usual precedence of LC_ALL over LANG.
std::string localeIdentifier()
{
    for (const char* name : {"LC_ALL", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string identifier = value;
            return identifier.substr(0, identifier.find_first_of(".@"));
        }
    }
    return "C";
}

std::optional<std::string> userAgentOfThisSystem()
{
    std::string name = WATERLINE_APPLICATION_NAME;
    if (name.empty())
        return std::nullopt;
    utsname system{};
    ::uname(&system);
    return name + " " + WATERLINE_APPLICATION_VERSION + " (" + system.machine + "; " + system.sysname + " "
        + system.release + "; " + localeIdentifier() + ")";
}

} // namespace

// Made once per process: every request asks, and neither the system nor the locale
// the process started in changes under it.
std::optional<std::string> HTTPRequest::defaultUserAgentString()
{
    static const std::optional<std::string> agent = userAgentOfThisSystem();
    return agent;
}

void HTTPRequest::buildRequestHeaders()
{
    if (m_haveBuiltRequestHeaders.get())
        return;
    m_haveBuiltRequestHeaders.set(true);

    if (m_isSizeProbe) {
        auto main = mainRequest();
        auto mainHeaders = main ? main->requestHeaders() : std::nullopt;
        if (mainHeaders) {
            for (const auto& [name, value] : *mainHeaders)
                (void)addRequestHeader(name, value);
        }
        return;
    }
    auto target = url();
    if (useCookiePersistance() && target) {
        auto stored = CookieStorage::shared().cookiesForURL(*target);
        m_requestCookies.modify(
            [&](std::vector<Cookie>& cookies) { cookies.insert(cookies.end(), stored.begin(), stored.end()); });
    }
    if (auto cookies = requestCookies(); !cookies.empty())
        (void)addRequestHeader("Cookie", CookieStorage::cookieHeaderValue(cookies));
    auto headers = requestHeaders();
    if (!headers || !headers->contains("User-Agent")) {
        if (auto agent = defaultUserAgentString())
            (void)addRequestHeader("User-Agent", *agent);
    }
    if (allowCompressedResponse())
        (void)addRequestHeader("Accept-Encoding", "gzip");
    if (shouldCompressRequestBody())
        (void)addRequestHeader("Content-Encoding", "gzip");

    auto partial = temporaryFileDownloadPath();
    std::error_code cause;
    if (allowResumeForFileDownloads() && downloadDestinationPath() && partial
        && std::filesystem::exists(*partial, cause)) {
        auto size = std::filesystem::file_size(*partial, cause);
        if (cause) {
            failWithError(HTTPRequestErrors::make(HTTPRequestErrorCode::FileOperationFailure,
                                                  "Failed to get attributes for file at path '" + *partial + "'",
                                                  Error::fromErrno(cause.value())));
            return;
        }
        m_partialDownloadSize.set(size);
        (void)addRequestHeader("Range", "bytes=" + std::to_string(size) + "-");
    }
}

} // namespace waterline
