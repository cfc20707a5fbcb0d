// Shapes for the button pictures, as "is this point inside" predicates in pixel
// coordinates (origin top-left, y downwards). A predicate is cheap to combine (union,
// difference) and to sample many times per pixel, which is all the generator needs to
// draw crisp anti-aliased glyphs without a path rasteriser.
#pragma once

#include <functional>
#include <vector>

namespace waterline::art {

struct Point {
    double x = 0;
    double y = 0;
};

using Shape = std::function<bool(double x, double y)>;

Shape roundedRect(double x, double y, double width, double height, double radius);
// The band of width `stroke` just inside the rounded rectangle's edge.
Shape roundedRectOutline(double x, double y, double width, double height, double radius, double stroke);
Shape circle(Point centre, double radius);
// A straight stroke with round ends.
Shape capsule(Point from, Point to, double width);
// A stroke through every point in turn, round-jointed.
Shape polyline(const std::vector<Point>& points, double width);
Shape polygon(std::vector<Point> points);
// The part of a ring between two angles (degrees, 0 = +x, counted towards +y).
Shape arc(Point centre, double radius, double width, double fromDegrees, double toDegrees);

Shape unite(std::vector<Shape> shapes);
Shape subtract(Shape base, Shape hole);

} // namespace waterline::art
