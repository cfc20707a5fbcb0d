// The proxies the environment asks for, by the conventions command-line programs on
// Linux share:
//
//   <scheme>_proxy, e.g. https_proxy   the proxy for URLs of that scheme
//   all_proxy                          the proxy for every other URL
//   no_proxy                           hosts reached directly: a list separated by
//                                      commas or spaces of names (each with its
//                                      subdomains, a leading dot allowed), addresses,
//                                      "host:port" entries, or "*" for every host
//   auto_proxy                         the URL of a proxy auto-configuration script
//
// A lower-case variable wins over its upper-case form. "HTTP_PROXY" is never read: a
// web server passes a request's "Proxy:" header to CGI programs under that name. A
// proxy is written "[scheme://][user:password@]host[:port]", the scheme being http
// (the default), https, or socks4, socks4a, socks5, socks5h.
//
//     auto settings = ProxySettings::fromEnvironment();
//     if (auto script = settings.pacScriptURL()) ...   // the script decides
//     auto proxies = settings.proxiesForURL(url);     // e.g. {HTTP cache 3128}
#pragma once

#include <waterline/http/ProxyEntry.h>
#include <waterline/http/URL.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class ProxySettings {
public:
    using Variables = std::map<std::string, std::string>;

    // Read from the process environment now.
    static ProxySettings fromEnvironment();
    // Read from the given variables by the same rules.
    static ProxySettings fromVariables(const Variables& variables);

    // The way to reach `url`: one entry, the proxy its scheme calls for, or Direct when
    // there is none, the variable is not a usable proxy, or no_proxy names the host.
    std::vector<ProxyEntry> proxiesForURL(const URL& url) const;

    // Whether no_proxy names the host (and port) of `url`.
    bool bypassesProxy(const URL& url) const;

    // The script that decides instead, when auto_proxy names one.
    const std::optional<URL>& pacScriptURL() const { return m_pacScriptURL; }

private:
    struct BypassRule {
        std::string host; // lower case, no leading dot, IPv6 without brackets
        std::optional<std::uint16_t> port;
    };

    std::optional<std::string> proxyVariableFor(const std::string& scheme) const;
    void readNoProxy(std::string_view list);

    Variables m_proxyVariables; // the *_proxy variables, names as given
    std::vector<BypassRule> m_bypassRules;
    bool m_bypassAll = false;
    std::optional<URL> m_pacScriptURL;
};

} // namespace waterline
