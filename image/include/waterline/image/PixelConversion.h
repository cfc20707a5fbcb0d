// Moving pixels between the engine's premultiplied 32-bit formats and the straight
// (not premultiplied) colour that file formats store. There is one rounding and
// clamping rule, so every file written from the same pixels has the same bytes:
//
//   - premultiplying rounds c × a / 255 to nearest;
//   - un-premultiplying rounds c × 255 / a to nearest, clamps a channel above its alpha
//     (not valid premultiplied colour, but possible in foreign data) to 255, and writes
//     colour 0 where alpha is 0, since such a pixel has no colour to keep.
//
//     auto rgba = image::straightRGBA(screen);   // tight R, G, B, A rows for an encoder
#pragma once

#include <waterline/foundation/PixelBuffer.h>

#include <cstdint>
#include <vector>

namespace waterline::image {

// a × b / 255 rounded to nearest, for 8-bit channels.
inline std::uint8_t multiply255(unsigned a, unsigned b)
{
    unsigned t = a * b + 128;
    return static_cast<std::uint8_t>((t + (t >> 8)) >> 8);
}

// The straight value of a premultiplied channel, by the rule above.
inline std::uint8_t unpremultiplyChannel(unsigned channel, unsigned alpha)
{
    if (alpha == 0)
        return 0;
    if (channel >= alpha)
        return 255;
    return static_cast<std::uint8_t>((channel * 255 + alpha / 2) / alpha);
}

// Premultiplies a row of straight A, R, G, B bytes in place.
void premultiplyARGBRow(std::uint8_t* row, int width);

// Writes a row of premultiplied `format` pixels as straight R, G, B, A bytes.
void unpremultiplyToRGBARow(const std::uint8_t* source, PixelFormat, std::uint8_t* rgba, int width);

// The whole buffer as straight R, G, B, A bytes in rows of exactly width × 4 bytes.
std::vector<std::uint8_t> straightRGBA(const PixelBuffer&);

// Copies a row of `format` pixels as premultiplied A, R, G, B (a byte swap for BGRA).
void copyRowAsARGB(const std::uint8_t* source, PixelFormat, std::uint8_t* argb, int width);

struct CMYKLayout {
    // Channels stored as 255 - ink, as Adobe's writers store them.
    bool inverted = false;
};

// Converts a row of C, M, Y, K bytes to opaque A, R, G, B: each colour is what is left
// of white after its ink and the black ink, (255 - ink) × (255 - K) / 255.
void cmykRowToARGB(const std::uint8_t* cmyk, std::uint8_t* argb, int width, CMYKLayout);

} // namespace waterline::image
