// One HTTP cookie as a server set it for a request URL, after the rules of RFC 6265:
// where it may be sent (domain, path, secure) and until when (expiry; none for a
// session cookie).
//
//     auto url = URL::parse("https://www.example.com/shop/cart");
//     auto cookie = Cookie::parse("id=a3f; Path=/shop; Domain=example.com; Secure; Max-Age=3600", *url);
//     cookie->domain;       // "example.com", sent to its subdomains as well
//     cookie->matches(*URL::parse("https://example.com/shop/x"));   // true
#pragma once

#include <waterline/http/URL.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace waterline {

struct Cookie {
    using Clock = std::chrono::system_clock;

    // Longest name plus value taken; longer cookies are refused.
    static constexpr std::size_t kMaximumNameAndValueSize = 4096;
    // Longest attribute value taken; a longer attribute is ignored.
    static constexpr std::size_t kMaximumAttributeValueSize = 1024;

    std::string name{};
    std::string value{};
    // Lower case, without a leading dot.
    std::string domain{};
    std::string path = "/";
    // None for a session cookie, which lasts as long as the process.
    std::optional<Clock::time_point> expiresDate{};
    bool isSecure = false;
    bool isHTTPOnly = false;
    // Sent to exactly `domain`, not to its subdomains (no Domain attribute was given).
    bool isHostOnly = true;
    Clock::time_point creationTime = Clock::now();

    // The cookie a "Set-Cookie" header value sets for a response from `requestURL`, or
    // none when the value must be ignored: no '=' in its first part, an empty name,
    // a control character, a name and value longer than kMaximumNameAndValueSize, or a
    // Domain attribute that is a public suffix or does not cover the request's host.
    // A cookie whose expiry has passed (Expires in the past, Max-Age of 0 or less)
    // still comes back: storing it deletes the cookie it replaces.
    static std::optional<Cookie> parse(std::string_view setCookieValue, const URL& requestURL,
                                       Clock::time_point now = Clock::now());

    bool isSessionOnly() const { return !expiresDate; }
    bool isExpired(Clock::time_point now = Clock::now()) const { return expiresDate && *expiresDate <= now; }

    // Whether this cookie goes with a request to `url`: its domain and path match and,
    // for a secure cookie, the scheme is https.
    bool matches(const URL& url) const;
    // Whether `host` is `domain` or a name inside it (never for an IP address).
    static bool domainMatches(std::string_view host, std::string_view domain);
    // Whether `requestPath` is `cookiePath` or lies below it.
    static bool pathMatches(std::string_view requestPath, std::string_view cookiePath);
    // The path a cookie without a Path attribute gets: the request path's folder.
    static std::string defaultPath(std::string_view requestPath);

    // Whether the two are the same cookie: a newer one replaces an older one.
    bool isSameCookie(const Cookie& other) const
    {
        return name == other.name && domain == other.domain && path == other.path;
    }

    bool operator==(const Cookie&) const = default;
};

} // namespace waterline
