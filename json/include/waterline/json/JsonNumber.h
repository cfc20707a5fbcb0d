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
// (up to 29 characters of text) are stored inline, without an allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace waterline {

namespace detail {
class JsonScanner; // the parser's scanner, in VelJsonParser.cpp
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

    JsonNumber(const JsonNumber& other);
    JsonNumber(JsonNumber&& other) noexcept
        : m_storage(other.m_storage)
        , m_length(other.m_length)
        , m_canonical(other.m_canonical)
    {
        other.m_length = 0;
    }
    JsonNumber& operator=(const JsonNumber& other);
    JsonNumber& operator=(JsonNumber&& other) noexcept
    {
        if (this != &other) {
            release();
            m_storage = other.m_storage;
            m_length = other.m_length;
            m_canonical = other.m_canonical;
            other.m_length = 0;
        }
        return *this;
    }
    ~JsonNumber() { release(); }

    // The text the number was made from, as it stood.
    std::string_view text() const
    {
        return isInline() ? std::string_view(m_storage.inlineText, m_length)
                          : std::string_view(m_storage.heap.data, m_storage.heap.size);
    }
    std::string toString() const;
    void appendCanonical(std::string& out) const;
    // Whether text() already is the canonical text.
    bool isCanonical() const { return m_canonical; }

    bool isInteger() const;
    // None when the value has a fraction or lies outside the type's range.
    std::optional<std::int64_t> toInt64() const;
    std::optional<std::uint64_t> toUInt64() const;
    // The nearest double; none when the magnitude is beyond double's range (a non-zero
    // value that would become infinite or zero).
    std::optional<double> toDouble() const;

    friend bool operator==(const JsonNumber& a, const JsonNumber& b);

private:
    friend class detail::JsonScanner;
    struct Validated {};
    // For text the parser has already checked against the grammar and the exponent
    // range, and found canonical or not on the way.
    JsonNumber(Validated, std::string_view text, bool canonical)
        : m_canonical(canonical)
    {
        assign(text);
    }
    // The same, for text inside a buffer readable up to `bufferEnd`: while the whole
    // inline storage's width can be read from where the text starts, short text is copied
    // with one fixed-width move rather than a variable one.
    JsonNumber(Validated, std::string_view text, bool canonical, const char* bufferEnd)
        : m_canonical(canonical)
    {
        constexpr std::size_t kWidth = sizeof m_storage.inlineText;
        const auto readable = static_cast<std::size_t>(bufferEnd - text.data());
        if (text.size() <= kInlineCapacity && readable >= kWidth) {
            std::memcpy(m_storage.inlineText, text.data(), kWidth);
            m_length = static_cast<std::uint8_t>(text.size());
        } else {
            assign(text);
        }
    }
    void assignText(std::string_view text); // assign() and work out m_canonical

    static constexpr std::size_t kInlineCapacity = 29;
    static constexpr std::uint8_t kOnHeap = 0xff;

    bool isInline() const { return m_length != kOnHeap; }
    void setInteger(std::int64_t value);
    void setUnsigned(std::uint64_t value);
    void assign(std::string_view text)
    {
        if (text.size() <= kInlineCapacity) {
            std::memcpy(m_storage.inlineText, text.data(), text.size());
            m_length = static_cast<std::uint8_t>(text.size());
        } else {
            assignOnHeap(text);
        }
    }
    void assignOnHeap(std::string_view text);
    void release()
    {
        if (!isInline())
            releaseHeap();
        m_length = 0;
    }
    void releaseHeap();

    union Storage {
        char inlineText[kInlineCapacity + 1];
        struct {
            char* data;
            std::size_t size;
        } heap;
    } m_storage;
    std::uint8_t m_length = 0;
    bool m_canonical = false;
};

} // namespace waterline
