// Moving pixels between the byte orders and alpha conventions the codecs speak and the
// engine's premultiplied ARGB. Private to effect/.
#pragma once

#include <waterline/foundation/PixelBuffer.h>

#include <cstdint>

namespace waterline::pixels {

// Premultiplies a row of non-premultiplied A, R, G, B bytes in place.
void premultiplyARGBRow(std::uint8_t* row, int width);

// Writes a row of premultiplied pixels as non-premultiplied R, G, B, A bytes.
void unpremultiplyToRGBARow(const std::uint8_t* source, PixelFormat, std::uint8_t* rgba, int width);

// Copies a row of `format` pixels as premultiplied ARGB (a byte swap for BGRA).
void copyRowAsARGB(const std::uint8_t* source, PixelFormat, std::uint8_t* argb, int width);

// a × b / 255 rounded to nearest, for 8-bit channels.
inline std::uint8_t multiply255(unsigned a, unsigned b)
{
    unsigned t = a * b + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

} // namespace waterline::pixels
