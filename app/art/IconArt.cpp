// Draws the application's icon at build time in the sizes the desktop's icon theme
// wants: a sun over a horizon, mirrored in rippled water below it.
//
//     waterline-icon-art <output-folder>
// writes <output-folder>/<N>x<N>/waterline.png for N = 48, 128 and 256.
#include "GlyphCanvas.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

using namespace waterline::art;

namespace {

// The design is drawn on a 64-unit square and scaled to each size.
constexpr double kDesignSize = 64;

constexpr Colour kSky{64, 148, 222, 1};
constexpr Colour kWater{18, 70, 128, 1};
constexpr Colour kSun{255, 204, 64, 1};
constexpr Colour kReflection{255, 204, 64, 0.55};
constexpr Colour kRipple{255, 255, 255, 0.45};

Shape scaled(Shape shape, double scale)
{
    return [shape = std::move(shape), scale](double x, double y) { return shape(x / scale, y / scale); };
}

// Keeps the part of `shape` on one side of the horizon at y = 34.
Shape aboveHorizon(Shape shape)
{
    return [shape = std::move(shape)](double x, double y) { return y < 34 && shape(x, y); };
}

Shape belowHorizon(Shape shape)
{
    return [shape = std::move(shape)](double x, double y) { return y >= 34 && shape(x, y); };
}

// A short wave line across the water, `y` being its resting height.
Shape ripple(double fromX, double toX, double y)
{
    std::vector<Point> points;
    for (double x = fromX; x <= toX; x += 1)
        points.push_back({x, y + 1.2 * std::sin((x - fromX) / (toX - fromX) * 2 * std::numbers::pi)});
    return polyline(points, 1.6);
}

bool drawIcon(const std::filesystem::path& folder, int size)
{
    double scale = size / kDesignSize;
    GlyphCanvas canvas(size, size);
    Shape plate = roundedRect(2, 2, 60, 60, 12);
    canvas.fill(scaled(aboveHorizon(plate), scale), kSky);
    canvas.fill(scaled(belowHorizon(plate), scale), kWater);
    canvas.fill(scaled(aboveHorizon(circle({32, 30}, 11)), scale), kSun);
    canvas.fill(scaled(belowHorizon(circle({32, 38}, 11)), scale), kReflection);
    canvas.fill(scaled(unite({ripple(14, 30, 42), ripple(30, 50, 48), ripple(18, 40, 54)}), scale), kRipple);

    auto sized = std::to_string(size) + "x" + std::to_string(size);
    return canvas.writePngOrReport(folder / sized / "waterline.png");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output-folder>\n", argv[0]);
        return 2;
    }
    for (int size : {48, 128, 256}) {
        if (!drawIcon(argv[1], size))
            return 1;
    }
    return 0;
}
