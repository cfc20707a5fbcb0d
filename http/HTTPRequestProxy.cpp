// Which proxy a request goes through: the one the caller named, else the first answer
// of a PAC script (the request's PACurl, or the one auto_proxy names), else the proxy
// the environment names for the URL, else none.
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/PACScript.h>
#include <waterline/http/ProxySettings.h>

namespace waterline {

namespace {

std::optional<HTTPProxy> proxyFromEntry(const ProxyEntry& entry)
{
    switch (entry.type) {
    case ProxyEntry::Type::Direct:
        return std::nullopt;
    case ProxyEntry::Type::HTTP:
        return HTTPProxy{entry.host, entry.port, "http"};
    case ProxyEntry::Type::HTTPS:
        return HTTPProxy{entry.host, entry.port, "https"};
    case ProxyEntry::Type::SOCKS:
        return HTTPProxy{entry.host, entry.port, "socks5h"};
    }
    return std::nullopt;
}

} // namespace

// The script's text: a file read from disk, or a document fetched over HTTP by a
// request that goes direct.
std::optional<std::string> HTTPRequest::loadPACScriptText(const URL& pacURL)
{
    if (pacURL.scheme() == "file") {
        auto script = PACScript::load(pacURL);
        return script ? std::optional<std::string>(script->text()) : std::nullopt;
    }
    auto fetch = requestWithURL(pacURL);
    fetch->m_connectsDirectly = true;
    fetch->setUseCookiePersistance(false);
    fetch->startSynchronous();
    if (fetch->error() || fetch->responseStatusCode() >= 400)
        return std::nullopt;
    auto bytes = fetch->responseData(); // scripts are ASCII or UTF-8, which the engine reads
    return bytes ? std::optional<std::string>(std::string(bytes->begin(), bytes->end())) : std::nullopt;
}

std::optional<std::vector<ProxyEntry>> HTTPRequest::proxiesForURL(const URL& url, const URL& pacURL)
{
    auto text = loadPACScriptText(pacURL);
    if (!text)
        return std::nullopt;
    auto proxies = PACScript(std::move(*text)).proxiesForURL(url);
    if (!proxies)
        return std::nullopt;
    return proxies.releaseValue();
}

ErrorOr<std::optional<HTTPProxy>> HTTPRequest::chooseProxy()
{
    auto host = proxyHost();
    int port = proxyPort();
    if (m_connectsDirectly)
        return std::optional<HTTPProxy>{};
    if (!host && port == 0) {
        std::optional<std::vector<ProxyEntry>> proxies;
        auto target = *url();
        auto settings = ProxySettings::fromEnvironment();
        if (auto pac = PACurl())
            proxies = proxiesForURL(target, *pac);
        else if (auto script = settings.pacScriptURL())
            proxies = proxiesForURL(target, *script);
        else
            proxies = settings.proxiesForURL(target);
        if (!proxies)
            return HTTPRequestErrors::make(HTTPRequestErrorCode::StreamSetupFailure,
                                           "Unable to obtain information on proxy servers needed for request");
        auto chosen = proxies->empty() ? std::nullopt : proxyFromEntry(proxies->front());
        if (!chosen)
            return std::optional<HTTPProxy>{};
        setProxyHost(chosen->host);
        setProxyPort(chosen->port);
        return chosen;
    }
    if (host && port > 0)
        return std::optional<HTTPProxy>(HTTPProxy{*host, port});
    return std::optional<HTTPProxy>{};
}

} // namespace waterline
