// A tiny 5 × 7 bitmap font for the labels the synthetic camera burns into its frames.
// capture/ sits below the view layer and must not reach up to its text rendering, and
// the labels need only a handful of characters, so they are drawn from these bits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace waterline {

struct Glyph {
    static constexpr int kWidth = 5;
    static constexpr int kHeight = 7;
    // One byte per row, top row first; bit 4 is the leftmost column.
    std::array<std::uint8_t, kHeight> rows;

    bool isSet(int column, int row) const { return (rows[row] >> (kWidth - 1 - column)) & 1; }
};

// The glyph for `c`, or none for a character the font lacks. It holds the digits,
// the capitals and the space.
std::optional<Glyph> glyphFor(char c);

} // namespace waterline
