// RFC 6265 section 5.1.1: the text is cut into tokens at delimiters, and each token is
// taken as the first still-missing part it can be: time, day of month, month, year.
#include <waterline/http/CookieDate.h>

#include <array>
#include <vector>

namespace waterline {

namespace {

using namespace std::chrono;

bool isDelimiter(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte == 0x09 || (byte >= 0x20 && byte <= 0x2F) || (byte >= 0x3B && byte <= 0x40)
        || (byte >= 0x5B && byte <= 0x60) || (byte >= 0x7B && byte <= 0x7E);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::vector<std::string_view> dateTokens(std::string_view text)
{
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && isDelimiter(text[at]))
            ++at;
        const auto start = at;
        while (at < text.size() && !isDelimiter(text[at]))
            ++at;
        if (at > start)
            tokens.push_back(text.substr(start, at - start));
    }
    return tokens;
}

// A run of `minDigits` to `maxDigits` digits at the start of `text`; the run must not
// go on past `maxDigits`. Advances `text` past it.
std::optional<int> leadingNumber(std::string_view& text, std::size_t minDigits, std::size_t maxDigits)
{
    std::size_t count = 0;
    int value = 0;
    while (count < text.size() && isDigit(text[count])) {
        if (++count > maxDigits)
            return std::nullopt;
        value = value * 10 + (text[count - 1] - '0');
    }
    if (count < minDigits)
        return std::nullopt;
    text.remove_prefix(count);
    return value;
}

// hms-time = 1*2DIGIT ":" 1*2DIGIT ":" 1*2DIGIT, then anything after a non-digit.
std::optional<std::array<int, 3>> timeOfDay(std::string_view token)
{
    std::array<int, 3> parts{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const auto number = leadingNumber(token, 1, 2);
        if (!number)
            return std::nullopt;
        parts[i] = *number;
        if (i < 2) {
            if (!token.starts_with(':'))
                return std::nullopt;
            token.remove_prefix(1);
        }
    }
    return parts;
}

std::optional<int> numberToken(std::string_view token, std::size_t minDigits, std::size_t maxDigits)
{
    return leadingNumber(token, minDigits, maxDigits);
}

std::optional<unsigned> monthToken(std::string_view token)
{
    static constexpr std::string_view kMonths[]
        = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
    if (token.size() < 3)
        return std::nullopt;
    std::string prefix(token.substr(0, 3));
    for (auto& c : prefix)
        c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    for (unsigned month = 0; month < 12; ++month)
        if (prefix == kMonths[month])
            return month + 1;
    return std::nullopt;
}

struct DateParts {
    std::optional<std::array<int, 3>> time;
    std::optional<int> day;
    std::optional<unsigned> month;
    std::optional<int> year;
};

void takeToken(DateParts& parts, std::string_view token)
{
    if (!parts.time && (parts.time = timeOfDay(token)))
        return;
    if (!parts.day && (parts.day = numberToken(token, 1, 2)))
        return;
    if (!parts.month && (parts.month = monthToken(token)))
        return;
    if (!parts.year)
        parts.year = numberToken(token, 2, 4);
}

// The time point for `seconds`, held to what the clock can represent: a date far in
// the past is as expired as the earliest one, a date far ahead as lasting.
system_clock::time_point clamped(sys_seconds seconds)
{
    const auto earliest = floor<std::chrono::seconds>(system_clock::time_point::min()) + std::chrono::seconds(1);
    const auto latest = floor<std::chrono::seconds>(system_clock::time_point::max());
    if (seconds < earliest)
        return earliest;
    if (seconds > latest)
        return latest;
    return seconds;
}

} // namespace

std::optional<system_clock::time_point> parseCookieDate(std::string_view text)
{
    DateParts parts;
    for (auto token : dateTokens(text))
        takeToken(parts, token);
    if (!parts.time || !parts.day || !parts.month || !parts.year)
        return std::nullopt;

    int year = *parts.year;
    if (year >= 70 && year <= 99)
        year += 1900;
    else if (year >= 0 && year <= 69)
        year += 2000;
    const auto [hour, minute, second] = *parts.time;
    if (year < 1601 || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const year_month_day date{std::chrono::year(year), std::chrono::month(*parts.month),
                              std::chrono::day(static_cast<unsigned>(*parts.day))};
    if (!date.ok())
        return std::nullopt;
    return clamped(sys_days(date) + hours(hour) + minutes(minute) + seconds(second));
}

} // namespace waterline
