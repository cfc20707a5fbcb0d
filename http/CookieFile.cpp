// Writing and reading the persistent cookie file.
#include "CookieFile.h"

#include <waterline/http/CookieStorage.h>

#include <algorithm>
#include <charconv>

namespace waterline {

namespace {

using Clock = Cookie::Clock;
using namespace std::chrono;

constexpr std::string_view kHeaderLine = "# waterline cookies 1";
constexpr std::size_t kFieldCount = 7;

void appendEscaped(std::string& out, std::string_view field)
{
    for (char c : field) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

std::optional<std::string> unescaped(std::string_view field)
{
    std::string result;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            result += field[i];
            continue;
        }
        if (++i == field.size())
            return std::nullopt;
        switch (field[i]) {
        case '\\':
            result += '\\';
            break;
        case 't':
            result += '\t';
            break;
        case 'n':
            result += '\n';
            break;
        case 'r':
            result += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return result;
}

std::string flagsField(const Cookie& cookie)
{
    std::string flags;
    if (cookie.isSecure)
        flags += 'S';
    if (cookie.isHTTPOnly)
        flags += 'H';
    if (!cookie.isHostOnly)
        flags += 'D';
    return flags.empty() ? "-" : flags;
}

std::optional<std::int64_t> integerField(std::string_view field)
{
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc{} || end != field.data() + field.size())
        return std::nullopt;
    return value;
}

// A time point from a count of `Unit`s, held to what the clock can represent.
template <typename Unit> Clock::time_point timeFromCount(std::int64_t count)
{
    const auto latest = duration_cast<Unit>(Clock::time_point::max().time_since_epoch()).count();
    const auto earliest = duration_cast<Unit>(Clock::time_point::min().time_since_epoch()).count() + 1;
    return Clock::time_point(duration_cast<Clock::duration>(Unit(std::clamp(count, earliest, latest))));
}

ErrorPtr malformed(std::string reason)
{
    return Error::create(CookieStorage::kErrorDomain, static_cast<int>(CookieStorage::ErrorCode::MalformedFile),
                         std::move(reason));
}

std::vector<std::string_view> splitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    while (true) {
        const auto tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

std::optional<Cookie> cookieFromLine(std::string_view line)
{
    const auto fields = splitFields(line);
    if (fields.size() != kFieldCount)
        return std::nullopt;
    auto name = unescaped(fields[0]);
    auto value = unescaped(fields[1]);
    auto domain = unescaped(fields[2]);
    auto path = unescaped(fields[3]);
    const auto expiry = integerField(fields[4]);
    const auto creation = integerField(fields[5]);
    const auto flags = fields[6];
    if (!name || !value || !domain || !path || !expiry || !creation || name->empty()
        || flags.find_first_not_of(flags == "-" ? "-" : "SHD") != std::string_view::npos)
        return std::nullopt;
    Cookie cookie;
    cookie.name = std::move(*name);
    cookie.value = std::move(*value);
    cookie.domain = std::move(*domain);
    cookie.path = std::move(*path);
    cookie.expiresDate = timeFromCount<seconds>(*expiry);
    cookie.creationTime = timeFromCount<microseconds>(*creation);
    cookie.isSecure = flags.find('S') != std::string_view::npos;
    cookie.isHTTPOnly = flags.find('H') != std::string_view::npos;
    cookie.isHostOnly = flags.find('D') == std::string_view::npos;
    return cookie;
}

} // namespace

std::string cookieFileText(const std::vector<Cookie>& cookies)
{
    std::string text(kHeaderLine);
    text += '\n';
    for (const auto& cookie : cookies) {
        if (!cookie.expiresDate)
            continue;
        for (std::string_view field : {std::string_view(cookie.name), std::string_view(cookie.value),
                                       std::string_view(cookie.domain), std::string_view(cookie.path)}) {
            appendEscaped(text, field);
            text += '\t';
        }
        text += std::to_string(floor<seconds>(*cookie.expiresDate).time_since_epoch().count());
        text += '\t';
        text += std::to_string(floor<microseconds>(cookie.creationTime).time_since_epoch().count());
        text += '\t';
        text += flagsField(cookie);
        text += '\n';
    }
    return text;
}

ErrorOr<std::vector<Cookie>> cookiesFromFileText(std::string_view text)
{
    std::vector<Cookie> cookies;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        if (end == std::string_view::npos)
            return malformed("the last line does not end");
        const auto line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (++lineNumber == 1) {
            if (line != kHeaderLine)
                return malformed("it is not a cookie file");
            continue;
        }
        auto cookie = cookieFromLine(line);
        if (!cookie)
            return malformed("line " + std::to_string(lineNumber) + " is malformed");
        cookies.push_back(std::move(*cookie));
    }
    return cookies;
}

} // namespace waterline
