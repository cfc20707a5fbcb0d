#include "GlyphShapes.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace waterline::art {

Shape roundedRect(double x, double y, double width, double height, double radius)
{
    return [=](double px, double py) {
        if (px < x || py < y || px > x + width || py > y + height)
            return false;
        // Distance to the nearest corner centre only matters inside the corner squares.
        double cx = std::clamp(px, x + radius, x + width - radius);
        double cy = std::clamp(py, y + radius, y + height - radius);
        return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= radius * radius;
    };
}

Shape roundedRectOutline(double x, double y, double width, double height, double radius, double stroke)
{
    return subtract(
        roundedRect(x, y, width, height, radius),
        roundedRect(x + stroke, y + stroke, width - 2 * stroke, height - 2 * stroke, std::max(0.0, radius - stroke)));
}

Shape circle(Point centre, double radius)
{
    return [=](double px, double py) {
        return (px - centre.x) * (px - centre.x) + (py - centre.y) * (py - centre.y) <= radius * radius;
    };
}

Shape capsule(Point from, Point to, double width)
{
    return [=](double px, double py) {
        double dx = to.x - from.x, dy = to.y - from.y;
        double lengthSquared = dx * dx + dy * dy;
        double t = lengthSquared == 0 ? 0 : ((px - from.x) * dx + (py - from.y) * dy) / lengthSquared;
        t = std::clamp(t, 0.0, 1.0);
        double nx = from.x + t * dx - px, ny = from.y + t * dy - py;
        return nx * nx + ny * ny <= width * width / 4;
    };
}

Shape polyline(const std::vector<Point>& points, double width)
{
    std::vector<Shape> pieces;
    for (std::size_t i = 1; i < points.size(); ++i)
        pieces.push_back(capsule(points[i - 1], points[i], width));
    return unite(std::move(pieces));
}

Shape polygon(std::vector<Point> points)
{
    // Even-odd rule by a horizontal ray.
    return [points = std::move(points)](double px, double py) {
        bool inside = false;
        for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
            const Point& a = points[i];
            const Point& b = points[j];
            if ((a.y > py) != (b.y > py) && px < (b.x - a.x) * (py - a.y) / (b.y - a.y) + a.x)
                inside = !inside;
        }
        return inside;
    };
}

Shape arc(Point centre, double radius, double width, double fromDegrees, double toDegrees)
{
    return [=](double px, double py) {
        double distance = std::hypot(px - centre.x, py - centre.y);
        if (std::abs(distance - radius) > width / 2)
            return false;
        double degrees = std::atan2(py - centre.y, px - centre.x) * 180 / std::numbers::pi;
        for (double turn : {-360.0, 0.0, 360.0}) {
            if (degrees + turn >= fromDegrees && degrees + turn <= toDegrees)
                return true;
        }
        return false;
    };
}

Shape unite(std::vector<Shape> shapes)
{
    return [shapes = std::move(shapes)](double px, double py) {
        return std::any_of(shapes.begin(), shapes.end(), [&](const Shape& s) { return s(px, py); });
    };
}

Shape subtract(Shape base, Shape hole)
{
    return [base = std::move(base), hole = std::move(hole)](double px, double py) {
        return base(px, py) && !hole(px, py);
    };
}

} // namespace waterline::art
