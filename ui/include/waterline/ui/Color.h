// A colour as the drawing code takes it: straight (not premultiplied) 8-bit channels.
// The canvas premultiplies when it draws, so callers write colours the way they read.
//
//     view.setBackgroundColor(Color::black());
//     Color dim{0, 0, 0, 102};   // 40 % black
#pragma once

#include <cstdint>

namespace waterline {

struct Color {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t alpha = 255;

    static constexpr Color black() { return {0, 0, 0, 255}; }
    static constexpr Color white() { return {255, 255, 255, 255}; }
    static constexpr Color clear() { return {0, 0, 0, 0}; }
    constexpr Color withAlpha(std::uint8_t a) const { return {red, green, blue, a}; }
    constexpr bool isClear() const { return alpha == 0; }

    friend constexpr bool operator==(const Color&, const Color&) = default;
};

} // namespace waterline
