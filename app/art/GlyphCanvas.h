// A small drawing surface for the button pictures: shapes are turned into anti-aliased
// coverage masks (sampled 4 × 4 per pixel) and composited in a solid colour with pixman
// into a premultiplied pixel buffer, which the image library writes as a PNG.
#pragma once

#include "GlyphShapes.h"

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>

#include <cstdint>
#include <filesystem>
#include <memory>

#include <pixman.h>

namespace waterline::art {

struct Colour {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    double alpha = 1;
};

class GlyphCanvas {
public:
    GlyphCanvas(int width, int height);
    ~GlyphCanvas();
    GlyphCanvas(const GlyphCanvas&) = delete;
    GlyphCanvas& operator=(const GlyphCanvas&) = delete;

    void fill(const Shape&, Colour);

    // The drawing so far: premultiplied, bytes B, G, R, A (pixman's a8r8g8b8 on a
    // little-endian machine).
    PixelBuffer& pixels() { return *m_pixels; }

    ErrorOr<void> writePng(const std::filesystem::path&) const;
    // For the build-time generators: writes the PNG, making its folder first, and tells
    // standard error when that fails.
    bool writePngOrReport(const std::filesystem::path&) const;

private:
    int m_width;
    int m_height;
    std::unique_ptr<PixelBuffer> m_pixels;
    pixman_image_t* m_image;
};

} // namespace waterline::art
