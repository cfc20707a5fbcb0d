// Reading a "Set-Cookie" value (RFC 6265 section 5.2) and matching a cookie against a
// request (sections 5.1.3, 5.1.4, 5.4).
#include "AsciiCase.h"
#include "ProtocolText.h"

#include <waterline/http/Cookie.h>
#include <waterline/http/CookieDate.h>

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <libpsl.h>

namespace waterline {

namespace {

using Clock = Cookie::Clock;

bool isControlCharacter(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// A CR or LF in a value we send back in a "Cookie" header would end it early; no
// control character has a place in a cookie's name or value.
bool hasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), isControlCharacter);
}

// Between attributes a tab is white space like a space.
bool hasControlCharacterOtherThanTab(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) { return c != '\t' && isControlCharacter(c); });
}

bool isIPAddress(std::string_view host)
{
    if (host.find(':') != std::string_view::npos)
        return true;
    in_addr address;
    return inet_pton(AF_INET, std::string(host).c_str(), &address) == 1;
}

// Whether cookies may not be set for all of `domain` ("com", "co.uk", "github.io"),
// by the public suffix list the system keeps up to date, else the library's own copy.
bool isPublicSuffix(const std::string& domain)
{
    static const psl_ctx_t* const list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    if (!list)
        return domain.find('.') == std::string::npos;
    return psl_is_public_suffix2(list, domain.c_str(), PSL_TYPE_ANY) != 0;
}

// Max-Age: an optional '-' and digits; none for anything else. Huge values saturate.
std::optional<Clock::time_point> expiryFromMaxAge(std::string_view value, Clock::time_point now)
{
    const bool negative = value.starts_with('-');
    const auto digits = negative ? value.substr(1) : value;
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    if (negative || digits.find_first_not_of('0') == std::string_view::npos)
        return Clock::time_point::min();
    std::int64_t seconds = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
    const auto untilLatest = std::chrono::duration_cast<std::chrono::seconds>(Clock::time_point::max() - now);
    if (error != std::errc{} || end != digits.data() + digits.size() || seconds >= untilLatest.count())
        return Clock::time_point::max();
    return now + std::chrono::seconds(seconds);
}

struct Attributes {
    std::optional<Clock::time_point> expires;
    std::optional<Clock::time_point> maxAge;
    std::optional<std::string> domain;
    std::optional<std::string> path;
    bool secure = false;
    bool httpOnly = false;
};

void takeAttribute(Attributes& attributes, std::string_view text, Clock::time_point now)
{
    const auto equals = text.find('=');
    const auto name = asciiLowercased(trimmedBlanks(text.substr(0, equals)));
    const auto value = equals == std::string_view::npos ? std::string_view{} : trimmedBlanks(text.substr(equals + 1));
    if (value.size() > Cookie::kMaximumAttributeValueSize)
        return;
    if (name == "expires") {
        if (auto date = parseCookieDate(value))
            attributes.expires = date;
    } else if (name == "max-age") {
        if (auto expiry = expiryFromMaxAge(value, now))
            attributes.maxAge = expiry;
    } else if (name == "domain") {
        if (value.starts_with('.'))
            attributes.domain = asciiLowercased(value.substr(1));
        else if (!value.empty())
            attributes.domain = asciiLowercased(value);
    } else if (name == "path") {
        attributes.path = value.starts_with('/') ? std::optional<std::string>(value) : std::nullopt;
    } else if (name == "secure") {
        attributes.secure = true;
    } else if (name == "httponly") {
        attributes.httpOnly = true;
    }
}

Attributes parseAttributes(std::string_view text, Clock::time_point now)
{
    Attributes attributes;
    while (!text.empty()) {
        text.remove_prefix(1); // the ';'
        const auto end = std::min(text.find(';'), text.size());
        takeAttribute(attributes, text.substr(0, end), now);
        text.remove_prefix(end);
    }
    return attributes;
}

// Sets the cookie's domain from its attribute; false when the cookie must be ignored.
bool applyDomain(Cookie& cookie, const std::optional<std::string>& domainAttribute, const std::string& host)
{
    cookie.domain = host;
    cookie.isHostOnly = true;
    if (!domainAttribute)
        return true;
    if (isPublicSuffix(*domainAttribute))
        return *domainAttribute == host; // allowed for that very host, and only for it
    if (!Cookie::domainMatches(host, *domainAttribute))
        return false;
    cookie.domain = *domainAttribute;
    cookie.isHostOnly = false;
    return true;
}

} // namespace

std::optional<Cookie> Cookie::parse(std::string_view setCookieValue, const URL& requestURL, Clock::time_point now)
{
    if (requestURL.host().empty())
        return std::nullopt; // no host to set it for (a file: URL)
    const auto pairEnd = std::min(setCookieValue.find(';'), setCookieValue.size());
    const auto pair = setCookieValue.substr(0, pairEnd);
    const auto equals = pair.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    const auto name = trimmedBlanks(pair.substr(0, equals));
    const auto value = trimmedBlanks(pair.substr(equals + 1));
    if (name.empty() || hasControlCharacter(name) || hasControlCharacter(value)
        || name.size() + value.size() > kMaximumNameAndValueSize || hasControlCharacterOtherThanTab(setCookieValue))
        return std::nullopt;

    const auto attributes = parseAttributes(setCookieValue.substr(pairEnd), now);
    Cookie cookie;
    cookie.name = name;
    cookie.value = value;
    cookie.creationTime = now;
    cookie.expiresDate = attributes.maxAge ? attributes.maxAge : attributes.expires;
    cookie.path = attributes.path ? *attributes.path : defaultPath(requestURL.path());
    cookie.isSecure = attributes.secure;
    cookie.isHTTPOnly = attributes.httpOnly;
    if (!applyDomain(cookie, attributes.domain, requestURL.hostName()))
        return std::nullopt;
    return cookie;
}

bool Cookie::matches(const URL& url) const
{
    const auto host = url.hostName();
    if (isHostOnly ? host != domain : !domainMatches(host, domain))
        return false;
    if (isSecure && url.scheme() != "https")
        return false;
    return pathMatches(url.path().empty() ? std::string_view("/") : std::string_view(url.path()), path);
}

bool Cookie::domainMatches(std::string_view host, std::string_view domain)
{
    if (host == domain)
        return true;
    return !domain.empty() && host.size() > domain.size() && host.ends_with(domain)
        && host[host.size() - domain.size() - 1] == '.' && !isIPAddress(host);
}

bool Cookie::pathMatches(std::string_view requestPath, std::string_view cookiePath)
{
    if (!requestPath.starts_with(cookiePath))
        return false;
    return requestPath.size() == cookiePath.size() || cookiePath.ends_with('/')
        || requestPath[cookiePath.size()] == '/';
}

std::string Cookie::defaultPath(std::string_view requestPath)
{
    const auto lastSlash = requestPath.rfind('/');
    if (!requestPath.starts_with('/') || lastSlash == 0)
        return "/";
    return std::string(requestPath.substr(0, lastSlash));
}

} // namespace waterline
