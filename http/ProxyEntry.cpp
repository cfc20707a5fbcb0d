// Proxy entries and the reading of PAC answers.
#include "AsciiCase.h"

#include <waterline/http/ProxyEntry.h>
#include <waterline/http/URL.h>

#include <algorithm>

namespace waterline {

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::optional<ProxyEntry::Type> typeForKeyword(std::string_view keyword)
{
    const auto word = asciiUppercased(keyword);
    if (word == "DIRECT")
        return ProxyEntry::Type::Direct;
    if (word == "PROXY" || word == "HTTP")
        return ProxyEntry::Type::HTTP;
    if (word == "HTTPS")
        return ProxyEntry::Type::HTTPS;
    if (word == "SOCKS" || word == "SOCKS4" || word == "SOCKS5")
        return ProxyEntry::Type::SOCKS;
    return std::nullopt;
}

std::optional<ProxyEntry> entryFromText(std::string_view text)
{
    const auto space = text.find_first_of(" \t");
    const auto type = typeForKeyword(text.substr(0, space));
    if (!type)
        return std::nullopt;
    const auto address = space == std::string_view::npos ? std::string_view{} : trimmed(text.substr(space));
    if (*type == ProxyEntry::Type::Direct)
        return address.empty() ? std::optional(ProxyEntry::direct()) : std::nullopt;
    return proxyEntryFromAddress(*type, address);
}

} // namespace

std::uint16_t ProxyEntry::defaultPort(Type type)
{
    switch (type) {
    case Type::Direct:
        return 0;
    case Type::HTTP:
        return 80;
    case Type::HTTPS:
        return 443;
    case Type::SOCKS:
        return 1080;
    }
    return 0;
}

const char* toString(ProxyEntry::Type type)
{
    switch (type) {
    case ProxyEntry::Type::Direct:
        return "DIRECT";
    case ProxyEntry::Type::HTTP:
        return "HTTP";
    case ProxyEntry::Type::HTTPS:
        return "HTTPS";
    case ProxyEntry::Type::SOCKS:
        return "SOCKS";
    }
    return "?";
}

std::optional<ProxyEntry> proxyEntryFromAddress(ProxyEntry::Type type, std::string_view address)
{
    // The URL parser checks the host and the port; any scheme will do for that.
    const auto url = URL::parse(std::string("proxy://").append(address));
    if (address.empty() || !url || !url->path().empty() || url->query() || url->fragment() || url->host().empty())
        return std::nullopt;
    ProxyEntry entry;
    entry.type = type;
    entry.host = url->hostName();
    entry.port = url->port().value_or(ProxyEntry::defaultPort(type));
    entry.user = url->user();
    entry.password = url->password();
    return entry;
}

std::vector<ProxyEntry> parsePACResult(std::string_view result)
{
    std::vector<ProxyEntry> entries;
    while (!result.empty()) {
        const auto end = std::min(result.find(';'), result.size());
        if (auto entry = entryFromText(trimmed(result.substr(0, end))))
            entries.push_back(std::move(*entry));
        result.remove_prefix(std::min(end + 1, result.size()));
    }
    return entries;
}

} // namespace waterline
