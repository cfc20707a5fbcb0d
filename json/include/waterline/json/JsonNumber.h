// An exact decimal number, as JSON text writes it.
//
//   std::optional<JsonNumber> price = JsonNumber::fromString("1.50e3");
//   price->toInt64();   // 1500
//   price->toString();  // "1500"
//   JsonNumber(0.1).toString(); // "0.1", the shortest text that reads back as the double
//
// A number is kept as its validated decimal text and is never rounded through a binary
// floating-point type: 0.1 stays one tenth, 1e400 and a forty-digit integer keep their
// value, and parsing is no more than cutting the text out of the input. Converting is
// done only when asked: to int64_t or double (each saying when the value does not fit),
// or to the canonical text the writer uses:
//
//   - the significant digits without leading or trailing zeros, the sign, nothing else
//     (1.50 → 1.5, -0 → 0, 0.0e7 → 0);
//   - integers in plain digits while they end in at most 21 zeros (1E5 → 100000),
//     otherwise in exponent form (1e400 → 1e+400);
//   - other numbers in plain digits while fewer than six zeros follow the decimal point
//     (0.000001234), otherwise in exponent form (1.5e-7);
//   - exponent form is one digit, the rest after a '.', then 'e', a sign and the exponent.
//
// Two numbers are equal when their values are equal (1.0 == 1, -0 == 0). Non-zero values
// are kept within 10^±999999999, so that every canonical text reads back. Short numbers
// (up to 14 characters of text) are stored inline, without an allocation; in a parsed
// document longer text lies in the document's arena.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include <waterline/json/CompactText.h>

namespace waterline {

namespace detail {
template <typename Blocks> class JsonScanner; // the parser's scanner, in VelJsonParser.cpp
}

class JsonNumber {
public:
    JsonNumber()
        : JsonNumber(0)
    {
    }
    template <typename Integer>
    requires(std::is_integral_v<Integer> && !std::is_same_v<Integer, bool>) JsonNumber(Integer value)
    {
        if constexpr (std::is_signed_v<Integer>)
            setInteger(static_cast<std::int64_t>(value));
        else
            setUnsigned(static_cast<std::uint64_t>(value));
    }
    // The shortest text that reads back as the same double. Not-a-number and the
    // infinities have no JSON form: they throw std::invalid_argument.
    explicit JsonNumber(double value);

    // Reads JSON number text (optional '-', no leading zeros, optional fraction and
    // exponent), nothing before or after it. None when the text is not a number or its
    // value, unless zero, lies beyond 10^±999999999 (as in d.ddd × 10^x).
    static std::optional<JsonNumber> fromString(std::string_view text);

    // The text the number was made from, as it stood.
    std::string_view text() const { return m_text.view(); }
    std::string toString() const;
    void appendCanonical(std::string& out) const;
    // Whether text() already is the canonical text.
    bool isCanonical() const { return m_text.spare() != 0; }

    bool isInteger() const;
    // None when the value has a fraction or lies outside the type's range.
    std::optional<std::int64_t> toInt64() const;
    std::optional<std::uint64_t> toUInt64() const;
    // The nearest double; none when the magnitude is beyond double's range (a non-zero
    // value that would become infinite or zero).
    std::optional<double> toDouble() const;

    friend bool operator==(const JsonNumber& a, const JsonNumber& b);

private:
    template <typename Blocks> friend class detail::JsonScanner;
    friend class JsonValue;

    struct Unset {};
    // No text yet, for the parser to fill in.
    explicit JsonNumber(Unset) noexcept {}

    void assignText(std::string_view text); // owned text, with the canonical flag worked out
    void setCanonical(bool canonical) { m_text.setSpare(canonical ? 1 : 0); }
    void setInteger(std::int64_t value);
    void setUnsigned(std::uint64_t value);

    detail::CompactText m_text; // byte 14 holds the canonical flag
};

} // namespace waterline
