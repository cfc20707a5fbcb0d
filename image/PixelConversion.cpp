#include <waterline/image/PixelConversion.h>

#include <cstring>

namespace waterline::image {

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
        // Opaque pixels, the common case, are already straight.
        bool opaque = a == 255;
        rgba[0] = opaque ? static_cast<std::uint8_t>(r) : unpremultiplyChannel(r, a);
        rgba[1] = opaque ? static_cast<std::uint8_t>(g) : unpremultiplyChannel(g, a);
        rgba[2] = opaque ? static_cast<std::uint8_t>(b) : unpremultiplyChannel(b, a);
        rgba[3] = static_cast<std::uint8_t>(a);
    }
}

std::vector<std::uint8_t> straightRGBA(const PixelBuffer& buffer)
{
    auto rowBytes = static_cast<std::size_t>(buffer.width()) * 4;
    std::vector<std::uint8_t> rgba(rowBytes * static_cast<std::size_t>(buffer.height()));
    for (int y = 0; y < buffer.height(); ++y)
        unpremultiplyToRGBARow(buffer.row(y), buffer.format(), rgba.data() + static_cast<std::size_t>(y) * rowBytes,
                               buffer.width());
    return rgba;
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

void cmykRowToARGB(const std::uint8_t* cmyk, std::uint8_t* argb, int width, CMYKLayout layout)
{
    for (int x = 0; x < width; ++x, cmyk += 4, argb += 4) {
        auto white = [&](std::uint8_t stored) { return layout.inverted ? stored : 255u - stored; };
        unsigned keep = white(cmyk[3]);
        argb[0] = 255;
        argb[1] = multiply255(white(cmyk[0]), keep);
        argb[2] = multiply255(white(cmyk[1]), keep);
        argb[3] = multiply255(white(cmyk[2]), keep);
    }
}

} // namespace waterline::image
