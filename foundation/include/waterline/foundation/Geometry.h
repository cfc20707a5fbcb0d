// Points, sizes and rectangles. Screen geometry is in points (double, origin top-left,
// y downwards, frames written x, y, width, height); pixel rasters use whole sizes.
//
//     RectF frame{0, 512, 768, 512};
//     if (frame.contains({100, 600})) ...
#pragma once

#include <compare>

namespace waterline {

struct PointF {
    double x = 0;
    double y = 0;
    friend bool operator==(const PointF&, const PointF&) = default;
};

struct SizeF {
    double width = 0;
    double height = 0;
    friend bool operator==(const SizeF&, const SizeF&) = default;
};

struct RectF {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    PointF origin() const { return {x, y}; }
    SizeF size() const { return {width, height}; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    bool contains(PointF p) const { return p.x >= x && p.x < maxX() && p.y >= y && p.y < maxY(); }
    friend bool operator==(const RectF&, const RectF&) = default;
};

// A raster's size in pixels.
struct Size {
    int width = 0;
    int height = 0;
    bool isEmpty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const Size&, const Size&) = default;
};

} // namespace waterline
