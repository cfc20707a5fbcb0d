#include "GlyphCanvas.h"

#include <cstdio>
#include <vector>

#include <png.h>

namespace waterline::art {

namespace {

constexpr int kSamplesPerSide = 4;

std::uint16_t channel16(std::uint8_t value, double alpha)
{
    // pixman colours are premultiplied 16-bit channels.
    return static_cast<std::uint16_t>(value * alpha * 257 + 0.5);
}

} // namespace

GlyphCanvas::GlyphCanvas(int width, int height)
    : m_width(width)
    , m_height(height)
    , m_image(pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, nullptr, 0))
{
}

GlyphCanvas::~GlyphCanvas()
{
    pixman_image_unref(m_image);
}

void GlyphCanvas::fill(const Shape& shape, Colour colour)
{
    pixman_image_t* mask = pixman_image_create_bits(PIXMAN_a8, m_width, m_height, nullptr, 0);
    auto* bits = reinterpret_cast<std::uint8_t*>(pixman_image_get_data(mask));
    int stride = pixman_image_get_stride(mask);
    constexpr int total = kSamplesPerSide * kSamplesPerSide;
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            int covered = 0;
            for (int sy = 0; sy < kSamplesPerSide; ++sy) {
                for (int sx = 0; sx < kSamplesPerSide; ++sx) {
                    double px = x + (sx + 0.5) / kSamplesPerSide;
                    double py = y + (sy + 0.5) / kSamplesPerSide;
                    covered += shape(px, py) ? 1 : 0;
                }
            }
            bits[y * stride + x] = static_cast<std::uint8_t>((covered * 255 + total / 2) / total);
        }
    }
    pixman_color_t pixmanColour{channel16(colour.red, colour.alpha), channel16(colour.green, colour.alpha),
                                channel16(colour.blue, colour.alpha),
                                static_cast<std::uint16_t>(colour.alpha * 65535 + 0.5)};
    pixman_image_t* solid = pixman_image_create_solid_fill(&pixmanColour);
    pixman_image_composite32(PIXMAN_OP_OVER, solid, mask, m_image, 0, 0, 0, 0, 0, 0, m_width, m_height);
    pixman_image_unref(solid);
    pixman_image_unref(mask);
}

bool GlyphCanvas::writePng(const std::string& path) const
{
    // Un-premultiply into straight RGBA, the form PNG stores.
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(m_width) * m_height * 4);
    const auto* words = pixman_image_get_data(m_image);
    int wordsPerRow = pixman_image_get_stride(m_image) / 4;
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            std::uint32_t word = words[y * wordsPerRow + x];
            unsigned alpha = word >> 24;
            std::uint8_t* out = &rgba[(static_cast<std::size_t>(y) * m_width + x) * 4];
            for (int c = 0; c < 3; ++c) {
                unsigned premultiplied = (word >> (16 - 8 * c)) & 0xff;
                out[c] = alpha == 0 ? 0 : static_cast<std::uint8_t>((premultiplied * 255 + alpha / 2) / alpha);
            }
            out[3] = static_cast<std::uint8_t>(alpha);
        }
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(m_width);
    image.height = static_cast<png_uint_32>(m_height);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), m_width * 4, nullptr)) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.c_str(), image.message);
        return false;
    }
    return true;
}

} // namespace waterline::art
