#include "PixelConversion.h"

#include <cstring>

namespace waterline::pixels {

void premultiplyARGBRow(std::uint8_t* row, int width)
{
    for (int x = 0; x < width; ++x, row += 4) {
        unsigned alpha = row[0];
        if (alpha == 255)
            continue;
        row[1] = multiply255(row[1], alpha);
        row[2] = multiply255(row[2], alpha);
        row[3] = multiply255(row[3], alpha);
    }
}

void unpremultiplyToRGBARow(const std::uint8_t* source, PixelFormat format, std::uint8_t* rgba, int width)
{
    bool argb = format == PixelFormat::ARGB32Premultiplied;
    for (int x = 0; x < width; ++x, source += 4, rgba += 4) {
        unsigned a = argb ? source[0] : source[3];
        unsigned r = argb ? source[1] : source[2];
        unsigned g = argb ? source[2] : source[1];
        unsigned b = argb ? source[3] : source[0];
        if (a != 0 && a != 255) {
            // Round to nearest; a premultiplied channel above alpha (not valid, but
            // possible in foreign data) saturates.
            r = (r * 255 + a / 2) / a;
            g = (g * 255 + a / 2) / a;
            b = (b * 255 + a / 2) / a;
        }
        rgba[0] = static_cast<std::uint8_t>(r > 255 ? 255 : r);
        rgba[1] = static_cast<std::uint8_t>(g > 255 ? 255 : g);
        rgba[2] = static_cast<std::uint8_t>(b > 255 ? 255 : b);
        rgba[3] = static_cast<std::uint8_t>(a);
    }
}

void copyRowAsARGB(const std::uint8_t* source, PixelFormat format, std::uint8_t* argb, int width)
{
    auto bytes = static_cast<std::size_t>(width) * 4;
    if (format == PixelFormat::ARGB32Premultiplied) {
        std::memcpy(argb, source, bytes);
        return;
    }
    // B, G, R, A → A, R, G, B is the byte reversal of each word.
    for (int x = 0; x < width; ++x) {
        std::uint32_t word;
        std::memcpy(&word, source + 4 * x, 4);
        word = __builtin_bswap32(word);
        std::memcpy(argb + 4 * x, &word, 4);
    }
}

} // namespace waterline::pixels
