// A small drawing surface for the button pictures: shapes are turned into anti-aliased
// coverage masks (sampled 4 × 4 per pixel) and composited in a solid colour with pixman,
// then the result is written as a PNG with straight (not premultiplied) alpha.
#pragma once

#include "GlyphShapes.h"

#include <cstdint>
#include <string>

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
    // False, with errno-style detail on stderr, when the file cannot be written.
    bool writePng(const std::string& path) const;

private:
    int m_width;
    int m_height;
    pixman_image_t* m_image;
};

} // namespace waterline::art
