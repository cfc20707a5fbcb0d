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
    std::string_view head;   // significant digits before the decimal point
    std::string_view tail;   // significant digits after it
    std::int64_t exponent = 0;

    std::size_t digitCount() const { return head.size() + tail.size(); }
    char digit(std::size_t i) const { return i < head.size() ? head[i] : tail[i - head.size()]; }
    bool isZero() const { return digitCount() == 0; }
};

// Exponents are kept within ±kMaxExponentText so that every position computed from
// them fits comfortably in 64 bits.
inline constexpr std::int64_t kMaxExponentText = 999'999'999;

// `text` must match the JSON number grammar.
DecimalParts splitDecimal(std::string_view text);

// Whether grammar-valid text is already in canonical form and can be written as it
// stands: no exponent, no trailing zero after a decimal point, not a signed zero, not
// a fraction below one (those are left to the full conversion), at most 22 digits.
bool isCanonicalText(std::string_view text);

// Whether the exponent of grammar-valid text is within range, or the value is zero.
bool exponentInRange(std::string_view text);

}  // namespace waterline::detail
