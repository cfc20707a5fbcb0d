#include "GlyphCanvas.h"

#include <waterline/image/PngCodec.h>

#include <bit>
#include <cstdio>
#include <stdexcept>

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
    , m_pixels(PixelBuffer::create(PixelFormat::BGRA32Premultiplied, {width, height}))
{
    static_assert(std::endian::native == std::endian::little, "a8r8g8b8 words are B, G, R, A bytes");
    if (!m_pixels)
        throw std::invalid_argument("no canvas of this size");
    m_image
        = pixman_image_create_bits(PIXMAN_a8r8g8b8, width, height, reinterpret_cast<std::uint32_t*>(m_pixels->data()),
                                   static_cast<int>(m_pixels->stride()));
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

ErrorOr<void> GlyphCanvas::writePng(const std::filesystem::path& path) const
{
    return image::writePNGFile(*m_pixels, path);
}

bool GlyphCanvas::writePngOrReport(const std::filesystem::path& path) const
{
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", path.parent_path().c_str(), error.message().c_str());
        return false;
    }
    auto written = writePng(path);
    if (!written)
        std::fprintf(stderr, "%s\n", written.error()->localizedDescription().c_str());
    return !written.isError();
}

} // namespace waterline::art
