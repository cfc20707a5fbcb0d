// Reading the value out of validated JSON number text.
//
// The text is split into its sign, its significant digits D (no leading or trailing
// zeros; they may straddle the decimal point, so they are kept as two pieces) and the
// power of ten e of D's last digit: value = ±D × 10^e. Equality, integer conversion and
// the canonical text all work from this split, without allocating.
#pragma once

#include <cstdint>
#include <string_view>

namespace waterline::detail {

struct DecimalParts {
    bool negative = false;
    std::string_view head; // significant digits before the decimal point
    std::string_view tail; // significant digits after it
    std::int64_t exponent = 0;

    std::size_t digitCount() const { return head.size() + tail.size(); }
    char digit(std::size_t i) const { return i < head.size() ? head[i] : tail[i - head.size()]; }
    bool isZero() const { return digitCount() == 0; }
};

// A non-zero value is kept within 10^±kMaxExponent (its exponent x as d.ddd × 10^x), so
// that its canonical text, exponent form included, reads back, and every position
// computed from it fits in 64 bits.
inline constexpr std::int64_t kMaxExponent = 999'999'999;
// Text shorter than this, with an exponent of fewer than nine digits, is always in range.
inline constexpr std::size_t kShortText = 100'000'000;

// `text` must match the JSON number grammar.
DecimalParts splitDecimal(std::string_view text);

// Whether grammar-valid text is already in canonical form and can be written as it
// stands: no exponent, no trailing zero after a decimal point, not a signed zero, not
// a fraction below one (those are left to the full conversion), at most 22 digits.
bool isCanonicalText(std::string_view text);

// Whether grammar-valid text is zero or within 10^±kMaxExponent.
bool exponentInRange(std::string_view text);

} // namespace waterline::detail
