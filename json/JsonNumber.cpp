// Exact decimal numbers kept as text; see JsonNumber.h for the canonical form.
#include <waterline/json/JsonNumber.h>

#include "DecimalText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace waterline {

namespace detail {

namespace {

bool isDigit(char ch)
{
    return ch >= '0' && ch <= '9';
}

struct RawParts {
    bool negative = false;
    std::string_view integer, fraction, exponentDigits;
    bool negativeExponent = false;
};

RawParts splitRaw(std::string_view text)
{
    RawParts raw;
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') {
        raw.negative = true;
        ++i;
    }
    std::size_t start = i;
    while (i < text.size() && isDigit(text[i]))
        ++i;
    raw.integer = text.substr(start, i - start);
    if (i < text.size() && text[i] == '.') {
        start = ++i;
        while (i < text.size() && isDigit(text[i]))
            ++i;
        raw.fraction = text.substr(start, i - start);
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (text[i] == '+' || text[i] == '-')
            raw.negativeExponent = text[i++] == '-';
        while (i + 1 < text.size() && text[i] == '0')
            ++i; // leading zeros say nothing
        raw.exponentDigits = text.substr(i);
    }
    return raw;
}

bool allZero(std::string_view digits)
{
    return digits.find_first_not_of('0') == std::string_view::npos;
}

} // namespace

bool exponentInRange(std::string_view text)
{
    RawParts raw = splitRaw(text);
    // Short text with a short exponent cannot reach the limit.
    if (raw.exponentDigits.size() < 9 && text.size() < kShortText)
        return true;
    if (raw.exponentDigits.size() > 18)
        return allZero(raw.integer) && allZero(raw.fraction);
    DecimalParts parts = splitDecimal(text);
    if (parts.isZero())
        return true;
    std::int64_t scientific = static_cast<std::int64_t>(parts.digitCount()) + parts.exponent - 1;
    return scientific >= -kMaxExponent && scientific <= kMaxExponent;
}

DecimalParts splitDecimal(std::string_view text)
{
    RawParts raw = splitRaw(text);
    DecimalParts parts;
    parts.negative = raw.negative;
    std::int64_t exponent = 0;
    if (raw.exponentDigits.size() <= 18) { // longer only for zero, whose exponent is moot
        for (char ch : raw.exponentDigits)
            exponent = exponent * 10 + (ch - '0');
        if (raw.negativeExponent)
            exponent = -exponent;
    }
    // Leading zeros: the integer part is "0" or starts with a non-zero digit.
    std::string_view head = raw.integer, tail = raw.fraction;
    if (head == "0") {
        head = {};
        std::size_t firstSignificant = tail.find_first_not_of('0');
        if (firstSignificant == std::string_view::npos)
            return DecimalParts{}; // zero
        // Zeros right after the point only place the digits: the power of ten of the
        // last digit is the same with or without them.
        exponent -= static_cast<std::int64_t>(tail.size());
        tail = tail.substr(firstSignificant);
        exponent += static_cast<std::int64_t>(tail.size());
    }
    exponent -= static_cast<std::int64_t>(tail.size());
    while (!tail.empty() && tail.back() == '0') {
        tail.remove_suffix(1);
        ++exponent;
    }
    if (tail.empty()) {
        while (!head.empty() && head.back() == '0') {
            head.remove_suffix(1);
            ++exponent;
        }
    }
    parts.head = head;
    parts.tail = tail;
    parts.exponent = exponent;
    if (parts.isZero())
        return DecimalParts{};
    return parts;
}

} // namespace detail

namespace {

using detail::DecimalParts;

void appendDigits(std::string& out, const DecimalParts& parts, std::size_t from, std::size_t to)
{
    if (from >= to)
        return;
    std::size_t headSize = parts.head.size();
    if (from < headSize)
        out.append(parts.head.substr(from, std::min(to, headSize) - from));
    if (to > headSize) {
        std::size_t tailFrom = from > headSize ? from - headSize : 0;
        out.append(parts.tail.substr(tailFrom, to - headSize - tailFrom));
    }
}

void appendExponentForm(std::string& out, const DecimalParts& parts, std::int64_t pointPosition)
{
    std::size_t count = parts.digitCount();
    out.push_back(parts.digit(0));
    if (count > 1) {
        out.push_back('.');
        appendDigits(out, parts, 1, count);
    }
    std::int64_t exponent = pointPosition - 1;
    out.push_back('e');
    out.push_back(exponent < 0 ? '-' : '+');
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, exponent < 0 ? -exponent : exponent);
    out.append(buffer, result.ptr);
}

void appendCanonicalParts(std::string& out, const DecimalParts& parts)
{
    if (parts.isZero()) {
        out.push_back('0');
        return;
    }
    if (parts.negative)
        out.push_back('-');
    auto count = static_cast<std::int64_t>(parts.digitCount());
    std::int64_t pointPosition = count + parts.exponent; // digits before the point
    if (parts.exponent >= 0) {
        if (parts.exponent > 21)
            return appendExponentForm(out, parts, pointPosition);
        appendDigits(out, parts, 0, parts.digitCount());
        out.append(static_cast<std::size_t>(parts.exponent), '0');
    } else if (pointPosition > 0) {
        appendDigits(out, parts, 0, static_cast<std::size_t>(pointPosition));
        out.push_back('.');
        appendDigits(out, parts, static_cast<std::size_t>(pointPosition), parts.digitCount());
    } else if (pointPosition > -6) {
        out.append("0.");
        out.append(static_cast<std::size_t>(-pointPosition), '0');
        appendDigits(out, parts, 0, parts.digitCount());
    } else {
        appendExponentForm(out, parts, pointPosition);
    }
}

} // namespace

bool detail::isCanonicalText(std::string_view text)
{
    std::size_t start = text[0] == '-' ? 1 : 0;
    if (text.size() - start >= 2 && text[start] == '0')
        return false; // "0.xxx": left to the conversion
    bool hasPoint = false;
    for (char ch : text) {
        if (ch == 'e' || ch == 'E')
            return false;
        hasPoint |= ch == '.';
    }
    if (hasPoint && text.back() == '0')
        return false;
    if (!hasPoint && text.size() > 22)
        return false; // may end in more than 21 zeros
    return !(start == 1 && text == "-0");
}

JsonNumber::JsonNumber(double value)
{
    if (!std::isfinite(value))
        throw std::invalid_argument("JSON has no form for a non-finite number");
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    assignText(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

void JsonNumber::assignText(std::string_view text)
{
    m_text.assignOwned(text);
    setCanonical(detail::isCanonicalText(text));
}

std::optional<JsonNumber> JsonNumber::fromString(std::string_view text)
{
    std::size_t i = 0;
    auto digitAt = [&](std::size_t at) { return at < text.size() && text[at] >= '0' && text[at] <= '9'; };
    auto skipDigits = [&] {
        while (digitAt(i))
            ++i;
    };
    if (i < text.size() && text[i] == '-')
        ++i;
    if (!digitAt(i))
        return std::nullopt;
    if (text[i] == '0') {
        ++i;
    } else {
        skipDigits();
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digitAt(i))
            return std::nullopt;
        skipDigits();
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (!digitAt(i))
            return std::nullopt;
        skipDigits();
    }
    if (i != text.size() || !detail::exponentInRange(text))
        return std::nullopt;
    JsonNumber number;
    number.assignText(text);
    return number;
}

void JsonNumber::setInteger(std::int64_t value)
{
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    assignText(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

void JsonNumber::setUnsigned(std::uint64_t value)
{
    char buffer[24];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    assignText(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

std::string JsonNumber::toString() const
{
    std::string out;
    appendCanonical(out);
    return out;
}

void JsonNumber::appendCanonical(std::string& out) const
{
    if (isCanonical()) {
        out.append(text());
        return;
    }
    appendCanonicalParts(out, detail::splitDecimal(text()));
}

bool JsonNumber::isInteger() const
{
    return detail::splitDecimal(text()).exponent >= 0;
}

std::optional<std::uint64_t> JsonNumber::toUInt64() const
{
    DecimalParts parts = detail::splitDecimal(text());
    if (parts.isZero())
        return 0;
    if (parts.negative || parts.exponent < 0)
        return std::nullopt;
    if (static_cast<std::int64_t>(parts.digitCount()) + parts.exponent > 20)
        return std::nullopt;
    unsigned __int128 value = 0;
    for (std::size_t i = 0; i < parts.digitCount(); ++i)
        value = value * 10 + (parts.digit(i) - '0');
    for (std::int64_t i = 0; i < parts.exponent; ++i)
        value *= 10;
    if (value > UINT64_MAX)
        return std::nullopt;
    return static_cast<std::uint64_t>(value);
}

std::optional<std::int64_t> JsonNumber::toInt64() const
{
    DecimalParts parts = detail::splitDecimal(text());
    if (parts.isZero())
        return 0;
    if (parts.exponent < 0)
        return std::nullopt;
    if (static_cast<std::int64_t>(parts.digitCount()) + parts.exponent > 19)
        return std::nullopt;
    unsigned __int128 magnitude = 0;
    for (std::size_t i = 0; i < parts.digitCount(); ++i)
        magnitude = magnitude * 10 + (parts.digit(i) - '0');
    for (std::int64_t i = 0; i < parts.exponent; ++i)
        magnitude *= 10;
    const unsigned __int128 limit = static_cast<unsigned __int128>(INT64_MAX) + (parts.negative ? 1 : 0);
    if (magnitude > limit)
        return std::nullopt;
    if (parts.negative)
        return static_cast<std::int64_t>(-static_cast<std::int64_t>(magnitude - 1) - 1);
    return static_cast<std::int64_t>(magnitude);
}

std::optional<double> JsonNumber::toDouble() const
{
    std::string_view own = text();
    double value = 0;
    auto result = std::from_chars(own.data(), own.data() + own.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    if (value == 0 && !detail::splitDecimal(own).isZero())
        return std::nullopt;
    return value;
}

bool operator==(const JsonNumber& a, const JsonNumber& b)
{
    if (a.text() == b.text())
        return true;
    detail::DecimalParts x = detail::splitDecimal(a.text()), y = detail::splitDecimal(b.text());
    if (x.isZero() || y.isZero())
        return x.isZero() && y.isZero();
    if (x.negative != y.negative || x.exponent != y.exponent || x.digitCount() != y.digitCount())
        return false;
    for (std::size_t i = 0; i < x.digitCount(); ++i)
        if (x.digit(i) != y.digit(i))
            return false;
    return true;
}

} // namespace waterline
