// Draws the application's button pictures into a resources folder at build time, so
// that no binary picture lives in the repository. One style for all of them: a white
// glyph on a translucent dark rounded square with a faint light rim, which stays
// legible over any photo, bright or dark.
//
//     waterline-button-art <output-folder>
#include "GlyphCanvas.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>

using namespace waterline::art;

namespace {

constexpr Colour kPlate{18, 22, 28, 0.6};
constexpr Colour kRim{255, 255, 255, 0.35};
constexpr Colour kGlyph{255, 255, 255, 0.96};
constexpr Colour kLitPlate{214, 150, 0, 0.80};

void drawPlate(GlyphCanvas& canvas, double width, double height, Colour plate)
{
    canvas.fill(roundedRect(3, 3, width - 6, height - 6, 12), plate);
    canvas.fill(roundedRectOutline(3, 3, width - 6, height - 6, 12, 1.5), kRim);
}

// A landscape in a frame: a photo from the album.
Shape albumGlyph()
{
    return unite({
        roundedRectOutline(13, 17, 34, 26, 3, 3),
        polygon({{16, 40}, {25, 28}, {31, 35}, {35, 31}, {44, 40}}),
        circle({38, 24}, 3.2),
    });
}

// A camera body with a lens cut out of it; `dx`, `dy` move it and `scale` sizes it.
Shape cameraGlyph(double dx, double dy, double scale)
{
    auto at = [&](double x, double y) { return Point{dx + x * scale, dy + y * scale}; };
    Shape body = unite({
        roundedRect(dx + 12 * scale, dy + 21 * scale, 36 * scale, 24 * scale, 5 * scale),
        roundedRect(dx + 22 * scale, dy + 16 * scale, 14 * scale, 8 * scale, 2 * scale),
    });
    Shape holes = unite({circle(at(30, 33), 8.5 * scale), circle(at(42, 26), 1.8 * scale)});
    return unite({subtract(body, holes), circle(at(30, 33), 5.5 * scale)});
}

// An arrow into a tray: keep this picture.
Shape saveGlyph()
{
    return unite({
        capsule({30, 13}, {30, 35}, 4),
        polyline({{21.5, 27}, {30, 35.5}, {38.5, 27}}, 4),
        polyline({{15, 36}, {15, 45}, {45, 45}, {45, 36}}, 4),
    });
}

// An envelope: send it by mail.
Shape shareGlyph()
{
    return unite({
        roundedRectOutline(12, 18, 36, 25, 3, 3),
        polyline({{14.5, 21}, {30, 32.5}, {45.5, 21}}, 3),
    });
}

// A triangle pointing along the direction of travel at angle `degrees` on a circle
// walked towards smaller angles: the head of a turning arrow.
Shape arrowHead(Point centre, double radius, double degrees, double size)
{
    double t = degrees * std::numbers::pi / 180;
    Point at{centre.x + radius * std::cos(t), centre.y + radius * std::sin(t)};
    Point along{std::sin(t), -std::cos(t)};
    Point across{std::cos(t), std::sin(t)};
    return polygon({{at.x + along.x * size, at.y + along.y * size},
                    {at.x - along.x * size * 0.35 + across.x * size, at.y - along.y * size * 0.35 + across.y * size},
                    {at.x - along.x * size * 0.35 - across.x * size, at.y - along.y * size * 0.35 - across.y * size}});
}

// A camera between two turning arrows: switch to the other camera.
Shape changeCameraGlyph()
{
    Point centre{45, 30};
    constexpr double radius = 23;
    return unite({
        cameraGlyph(45 - 30 * 0.72, 31 - 31 * 0.72, 0.72),
        arc(centre, radius, 3, 148, 212),
        arrowHead(centre, radius, 146, 5.5),
        arc(centre, radius, 3, -32, 32),
        arrowHead(centre, radius, -34, 5.5),
    });
}

Shape boltGlyph()
{
    return polygon({{31, 10}, {18, 34}, {28, 34}, {24, 50}, {42, 25}, {32, 25}, {39, 10}});
}

// The bolt struck through, with a gap cut around the stroke so it reads at a glance.
Shape boltOffGlyph()
{
    Shape bolt = subtract(boltGlyph(), capsule({15, 12}, {45, 48}, 7));
    return unite({bolt, capsule({16, 13}, {44, 47}, 3)});
}

bool draw(const std::filesystem::path& folder, const char* name, int width, Colour plate, const Shape& glyph)
{
    GlyphCanvas canvas(width, 60);
    drawPlate(canvas, width, 60, plate);
    canvas.fill(glyph, kGlyph);
    return canvas.writePngOrReport(folder / name);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output-folder>\n", argv[0]);
        return 2;
    }
    std::filesystem::path folder = argv[1];
    bool written = draw(folder, "album.png", 60, kPlate, albumGlyph())
        && draw(folder, "Camera.png", 60, kPlate, cameraGlyph(0, 0, 1))
        && draw(folder, "save.png", 60, kPlate, saveGlyph()) && draw(folder, "share.png", 60, kPlate, shareGlyph())
        && draw(folder, "changecamera.png", 90, kPlate, changeCameraGlyph())
        && draw(folder, "Flash_On.png", 60, kLitPlate, boltGlyph())
        && draw(folder, "Flash_Off.png", 60, kPlate, boltOffGlyph());
    return written ? 0 : 1;
}
