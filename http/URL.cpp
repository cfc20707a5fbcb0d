// Splitting, checking and resolving URLs (RFC 3986).
#include "AsciiCase.h"

#include <waterline/http/URL.h>

#include <charconv>

namespace waterline {

namespace {

// The five parts of a URL reference as RFC 3986 appendix B splits them; an absent
// part is none, an empty one is an empty string.
struct ReferenceParts {
    std::optional<std::string_view> scheme;
    std::optional<std::string_view> authority;
    std::string_view path;
    std::optional<std::string_view> query;
    std::optional<std::string_view> fragment;
};

ReferenceParts splitReference(std::string_view text)
{
    ReferenceParts parts;
    const auto colon = text.find_first_of(":/?#");
    if (colon != std::string_view::npos && colon > 0 && text[colon] == ':') {
        parts.scheme = text.substr(0, colon);
        text.remove_prefix(colon + 1);
    }
    if (text.starts_with("//")) {
        text.remove_prefix(2);
        const auto end = std::min(text.find_first_of("/?#"), text.size());
        parts.authority = text.substr(0, end);
        text.remove_prefix(end);
    }
    const auto hash = text.find('#');
    if (hash != std::string_view::npos) {
        parts.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    const auto question = text.find('?');
    if (question != std::string_view::npos) {
        parts.query = text.substr(question + 1);
        text = text.substr(0, question);
    }
    parts.path = text;
    return parts;
}

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Control characters, space and DEL could end a request line or a header early.
bool hasUnsafeCharacter(std::string_view text)
{
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

bool isValidScheme(std::string_view scheme)
{
    if (scheme.empty() || !isAlpha(scheme.front()))
        return false;
    for (char c : scheme)
        if (!isAlpha(c) && !isDigit(c) && c != '+' && c != '-' && c != '.')
            return false;
    return true;
}

// A registered name: unreserved characters and sub-delimiters. Percent-escapes and
// characters outside ASCII (internationalised names) are not taken.
bool isValidRegisteredName(std::string_view host)
{
    static constexpr std::string_view kAllowedPunctuation = "-._~!$&'()*+,;=";
    for (char c : host)
        if (!isAlpha(c) && !isDigit(c) && kAllowedPunctuation.find(c) == std::string_view::npos)
            return false;
    return true;
}

// "[" IPv6 address, optionally with a zone "%25..." "]".
bool isValidBracketedAddress(std::string_view host)
{
    if (host.size() < 4 || host.front() != '[' || host.back() != ']')
        return false;
    auto address = host.substr(1, host.size() - 2);
    const auto zone = address.find("%25");
    if (zone != std::string_view::npos) {
        if (!isValidRegisteredName(address.substr(zone + 3)) || zone + 3 == address.size())
            return false;
        address = address.substr(0, zone);
    }
    if (address.find(':') == std::string_view::npos)
        return false;
    for (char c : address)
        if (!isHexDigit(c) && c != ':' && c != '.')
            return false;
    return true;
}

std::optional<std::uint16_t> parsePort(std::string_view digits)
{
    unsigned value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc{} || end != digits.data() + digits.size() || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// Bytes outside ASCII become "%XY" escapes so that the text on the wire is ASCII.
std::string encodeNonASCII(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result += c;
            continue;
        }
        result += '%';
        result += kHex[byte >> 4];
        result += kHex[byte & 0xF];
    }
    return result;
}

std::optional<std::string> encodedPart(std::optional<std::string_view> part)
{
    if (!part)
        return std::nullopt;
    return encodeNonASCII(*part);
}

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view input)
{
    std::string output;
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.remove_prefix(3);
        } else if (input.starts_with("./")) {
            input.remove_prefix(2);
        } else if (input.starts_with("/./")) {
            input.remove_prefix(2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../") || input == "/..") {
            input = input.size() == 3 ? std::string_view("/") : input.substr(3);
            const auto lastSlash = output.rfind('/');
            output.erase(lastSlash == std::string::npos ? 0 : lastSlash);
        } else if (input == "." || input == "..") {
            input = {};
        } else {
            const auto next = input.find('/', 1);
            const auto segment = input.substr(0, next);
            output += segment;
            input.remove_prefix(segment.size());
        }
    }
    return output;
}

} // namespace

std::optional<URL> URL::parse(std::string_view text)
{
    if (hasUnsafeCharacter(text))
        return std::nullopt;
    const auto parts = splitReference(text);
    if (!parts.scheme || !isValidScheme(*parts.scheme))
        return std::nullopt;

    URL url;
    url.m_scheme = asciiLowercased(*parts.scheme);
    if (parts.authority) {
        url.m_hasAuthority = true;
        auto authority = *parts.authority;
        const auto at = authority.rfind('@');
        if (at != std::string_view::npos) {
            url.m_userInfo = encodeNonASCII(authority.substr(0, at));
            authority.remove_prefix(at + 1);
        }
        auto hostEnd = authority.starts_with('[') ? authority.find(']') : authority.rfind(':');
        if (authority.starts_with('[') && hostEnd != std::string_view::npos)
            ++hostEnd; // keep the closing bracket
        const auto host = authority.substr(0, std::min(hostEnd, authority.size()));
        if (host.starts_with('[') ? !isValidBracketedAddress(host) : !isValidRegisteredName(host))
            return std::nullopt;
        url.m_host = asciiLowercased(host);
        const auto rest = authority.substr(host.size());
        if (!rest.empty() && rest.front() != ':')
            return std::nullopt;
        if (rest.size() > 1) {
            url.m_port = parsePort(rest.substr(1));
            if (!url.m_port)
                return std::nullopt;
        }
    }
    url.m_path = encodeNonASCII(parts.path);
    url.m_query = encodedPart(parts.query);
    url.m_fragment = encodedPart(parts.fragment);
    return url;
}

std::optional<URL> URL::resolve(std::string_view reference) const
{
    const auto ref = splitReference(reference);
    std::string target = ref.scheme ? std::string(*ref.scheme) : m_scheme;
    target += ':';
    std::optional<std::string_view> query = ref.query;
    if (ref.scheme || ref.authority) {
        if (ref.authority)
            target.append("//").append(*ref.authority);
        target += removeDotSegments(ref.path);
    } else {
        if (m_hasAuthority)
            target.append("//").append(authority());
        if (ref.path.empty()) {
            target += m_path;
            if (!query && m_query)
                query = *m_query;
        } else {
            target += removeDotSegments(mergedPath(ref.path));
        }
    }
    if (query)
        target.append("?").append(*query);
    if (ref.fragment)
        target.append("#").append(*ref.fragment);
    return parse(target);
}

// A relative path appended to this URL's folder (RFC 3986 section 5.2.3).
std::string URL::mergedPath(std::string_view relativePath) const
{
    if (relativePath.starts_with('/'))
        return std::string(relativePath);
    if (m_hasAuthority && m_path.empty())
        return std::string("/").append(relativePath);
    return m_path.substr(0, m_path.rfind('/') + 1).append(relativePath);
}

std::string URL::authority() const
{
    std::string result;
    if (m_userInfo)
        result.append(*m_userInfo).append("@");
    return result.append(hostAndPort());
}

std::string URL::hostName() const
{
    if (m_host.starts_with('['))
        return m_host.substr(1, m_host.size() - 2);
    return m_host;
}

std::optional<std::uint16_t> URL::effectivePort() const
{
    if (m_port)
        return m_port;
    if (m_scheme == "http")
        return 80;
    if (m_scheme == "https")
        return 443;
    return std::nullopt;
}

std::optional<std::string> URL::user() const
{
    if (!m_userInfo)
        return std::nullopt;
    return percentDecode(std::string_view(*m_userInfo).substr(0, m_userInfo->find(':')));
}

std::optional<std::string> URL::password() const
{
    if (!m_userInfo)
        return std::nullopt;
    const auto colon = m_userInfo->find(':');
    if (colon == std::string::npos)
        return std::nullopt;
    return percentDecode(std::string_view(*m_userInfo).substr(colon + 1));
}

std::string URL::pathAndQuery() const
{
    std::string result = m_path.empty() ? std::string("/") : m_path;
    if (m_query)
        result += "?" + *m_query;
    return result;
}

std::string URL::hostAndPort() const
{
    if (!m_port)
        return m_host;
    return m_host + ":" + std::to_string(*m_port);
}

std::string URL::string() const
{
    std::string result = m_scheme + ":";
    if (m_hasAuthority)
        result.append("//").append(authority());
    result += m_path;
    if (m_query)
        result += "?" + *m_query;
    if (m_fragment)
        result += "#" + *m_fragment;
    return result;
}

std::string URL::percentDecode(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isHexDigit(text[i + 1]) && isHexDigit(text[i + 2])) {
            unsigned byte = 0;
            std::from_chars(text.data() + i + 1, text.data() + i + 3, byte, 16);
            result += static_cast<char>(byte);
            i += 2;
        } else {
            result += text[i];
        }
    }
    return result;
}

} // namespace waterline
