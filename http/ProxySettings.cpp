// Reading proxy settings from environment variables.
#include "AsciiCase.h"

#include <waterline/http/ProxySettings.h>

#include <algorithm>
#include <charconv>

extern char** environ;

namespace waterline {

namespace {

// Asked of every environment variable for every request, so it does not allocate.
bool isProxyVariable(std::string_view name)
{
    constexpr std::string_view suffix = "_proxy";
    if (name.size() < suffix.size())
        return false;
    auto tail = name.substr(name.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(),
                      [](char c, char lower) { return (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) == lower; });
}

// The value of `lowerName`, else of its upper-case form; empty values count as unset.
std::optional<std::string> variable(const ProxySettings::Variables& variables, const std::string& lowerName)
{
    for (const auto& name : {lowerName, asciiUppercased(lowerName)}) {
        if (name == "HTTP_PROXY")
            continue; // may come from a request's "Proxy:" header under CGI
        const auto found = variables.find(name);
        if (found != variables.end() && !found->second.empty())
            return found->second;
    }
    return std::nullopt;
}

std::optional<ProxyEntry::Type> typeForProxyScheme(std::string_view scheme)
{
    if (scheme == "http")
        return ProxyEntry::Type::HTTP;
    if (scheme == "https")
        return ProxyEntry::Type::HTTPS;
    if (scheme == "socks4" || scheme == "socks4a" || scheme == "socks5" || scheme == "socks5h")
        return ProxyEntry::Type::SOCKS;
    return std::nullopt;
}

// "[scheme://][user:password@]host[:port][/]"
std::optional<ProxyEntry> proxyFromVariable(std::string_view value)
{
    auto type = std::optional(ProxyEntry::Type::HTTP);
    const auto separator = value.find("://");
    if (separator != std::string_view::npos) {
        type = typeForProxyScheme(asciiLowercased(value.substr(0, separator)));
        value.remove_prefix(separator + 3);
    }
    if (value.ends_with('/'))
        value.remove_suffix(1);
    if (!type)
        return std::nullopt;
    return proxyEntryFromAddress(*type, value);
}

std::optional<std::uint16_t> parsePort(std::string_view digits)
{
    std::uint16_t port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (error != std::errc{} || end != digits.data() + digits.size())
        return std::nullopt;
    return port;
}

// "host", "host:port", "[address]", "[address]:port", or a bare IPv6 address.
std::pair<std::string_view, std::optional<std::string_view>> splitHostAndPort(std::string_view text)
{
    if (text.starts_with('[')) {
        const auto closing = text.find(']');
        if (closing == std::string_view::npos)
            return {text, std::nullopt};
        const auto rest = text.substr(closing + 1);
        const auto port = rest.starts_with(':') ? std::optional(rest.substr(1)) : std::nullopt;
        return {text.substr(1, closing - 1), port};
    }
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon != text.rfind(':'))
        return {text, std::nullopt};
    return {text.substr(0, colon), text.substr(colon + 1)};
}

} // namespace

ProxySettings ProxySettings::fromEnvironment()
{
    Variables variables;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view text(*entry);
        const auto equals = text.find('=');
        if (equals != std::string_view::npos && isProxyVariable(text.substr(0, equals)))
            variables.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    return fromVariables(variables);
}

ProxySettings ProxySettings::fromVariables(const Variables& variables)
{
    ProxySettings settings;
    for (const auto& [name, value] : variables)
        if (isProxyVariable(name))
            settings.m_proxyVariables.emplace(name, value);
    if (auto list = variable(variables, "no_proxy"))
        settings.readNoProxy(*list);
    if (auto script = variable(variables, "auto_proxy"))
        settings.m_pacScriptURL = URL::parse(*script);
    return settings;
}

void ProxySettings::readNoProxy(std::string_view list)
{
    while (!list.empty()) {
        const auto start = list.find_first_not_of(", \t");
        if (start == std::string_view::npos)
            break;
        list.remove_prefix(start);
        const auto end = std::min(list.find_first_of(", \t"), list.size());
        auto entry = asciiLowercased(list.substr(0, end));
        list.remove_prefix(end);

        if (entry == "*") {
            m_bypassAll = true;
            continue;
        }
        std::string_view rest = entry;
        if (rest.starts_with("*."))
            rest.remove_prefix(2);
        else if (rest.starts_with('.'))
            rest.remove_prefix(1);
        const auto [host, port] = splitHostAndPort(rest);
        BypassRule rule;
        if (port) {
            rule.port = parsePort(*port);
            if (!rule.port)
                continue;
        }
        if (host.empty())
            continue;
        rule.host = host;
        m_bypassRules.push_back(std::move(rule));
    }
}

bool ProxySettings::bypassesProxy(const URL& url) const
{
    if (m_bypassAll)
        return true;
    const auto host = url.hostName();
    const auto port = url.effectivePort();
    for (const auto& rule : m_bypassRules) {
        const bool hostMatches = host == rule.host
            || (host.size() > rule.host.size() && host.ends_with(rule.host)
                && host[host.size() - rule.host.size() - 1] == '.');
        if (hostMatches && (!rule.port || rule.port == port))
            return true;
    }
    return false;
}

std::optional<std::string> ProxySettings::proxyVariableFor(const std::string& scheme) const
{
    if (auto value = variable(m_proxyVariables, scheme + "_proxy"))
        return value;
    return variable(m_proxyVariables, "all_proxy");
}

std::vector<ProxyEntry> ProxySettings::proxiesForURL(const URL& url) const
{
    if (bypassesProxy(url))
        return {ProxyEntry::direct()};
    const auto value = proxyVariableFor(url.scheme());
    if (!value)
        return {ProxyEntry::direct()};
    auto proxy = proxyFromVariable(*value);
    return {proxy ? std::move(*proxy) : ProxyEntry::direct()};
}

} // namespace waterline
