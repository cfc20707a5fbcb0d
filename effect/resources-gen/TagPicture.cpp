// Paints the application's built-in picture, "tag.jpg": an evening landscape of
// 768 × 512 pixels with a glowing sky, soft clouds, hazy mountain ranges, a wooded
// ridge and a flowered meadow at the bottom edge. The meadow's fine detail sits right
// above the water line, where the ripple moves most visibly. Everything is computed
// from value noise with fixed seeds, so every build paints the same picture.
//
//     tag-picture OUTPUT.jpg
#include <waterline/foundation/FileIO.h>
#include <waterline/image/JpegCodec.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

using namespace waterline;

namespace {

constexpr int kWidth = 768;
constexpr int kHeight = 512;

struct Colour {
    double r, g, b;
};

Colour mix(Colour a, Colour b, double t)
{
    t = std::clamp(t, 0.0, 1.0);
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

double smoothstep(double edge0, double edge1, double x)
{
    double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

double hash(int x, int y, int seed)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u
        + static_cast<std::uint32_t>(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / double(0xFFFFFF);
}

double valueNoise(double x, double y, int seed)
{
    int x0 = static_cast<int>(std::floor(x));
    int y0 = static_cast<int>(std::floor(y));
    double fx = x - x0, fy = y - y0;
    double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    double top = hash(x0, y0, seed) + (hash(x0 + 1, y0, seed) - hash(x0, y0, seed)) * sx;
    double bottom = hash(x0, y0 + 1, seed) + (hash(x0 + 1, y0 + 1, seed) - hash(x0, y0 + 1, seed)) * sx;
    return top + (bottom - top) * sy;
}

double fbm(double x, double y, int seed, int octaves = 5)
{
    double sum = 0, amplitude = 0.5, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * valueNoise(x, y, seed + i * 101);
        total += amplitude;
        x *= 2.03;
        y *= 2.03;
        amplitude *= 0.5;
    }
    return sum / total;
}

// The sky: deep blue overhead to a warm glow at the horizon, a low sun and its halo,
// and drifting clouds lit from below.
Colour sky(double x, double y)
{
    double height = y / 330.0;
    Colour zenith{28, 62, 138}, middle{92, 132, 196}, glow{252, 196, 138};
    Colour colour = height < 0.55 ? mix(zenith, middle, height / 0.55) : mix(middle, glow, (height - 0.55) / 0.45);
    double sunX = 540, sunY = 268;
    double distance = std::hypot(x - sunX, (y - sunY) * 1.1);
    colour = mix(colour, Colour{255, 214, 150}, 0.7 * std::exp(-distance / 110.0));
    colour = mix(colour, Colour{255, 236, 180}, 0.5 * std::exp(-distance / 40.0));
    colour = mix(colour, Colour{255, 244, 214}, smoothstep(24, 20, distance));
    double cloud = fbm(x / 150.0, y / 42.0, 7);
    double band = smoothstep(40, 120, y) * smoothstep(300, 180, y);
    double density = smoothstep(0.5, 0.72, cloud) * band;
    Colour lit = mix(Colour{246, 222, 214}, Colour{255, 184, 128}, y / 300.0);
    Colour shade = mix(Colour{120, 108, 150}, Colour{180, 120, 120}, y / 300.0);
    Colour cloudColour = mix(lit, shade, smoothstep(0.6, 0.85, fbm(x / 60.0, y / 20.0 + 3, 19)));
    return mix(colour, cloudColour, density * 0.9);
}

double ridge(double x, double base, double amplitude, double scale, int seed)
{
    return base - amplitude * fbm(x / scale, 0.5, seed, 6);
}

// A conifer silhouette on the wooded ridge: true when (x, y) lies inside a tree.
bool insideTree(double x, double y, double ridgeY)
{
    int slot = static_cast<int>(std::floor(x / 11.0));
    for (int s = slot - 1; s <= slot + 1; ++s) {
        if (hash(s, 3, 41) < 0.25)
            continue;
        double centre = s * 11.0 + 5.5 + (hash(s, 5, 43) - 0.5) * 6;
        double treeHeight = 18 + 26 * hash(s, 7, 47);
        double foot = ridgeY + 4;
        double top = foot - treeHeight;
        if (y < top || y > foot)
            continue;
        double halfWidth = (y - top) / treeHeight * (4.5 + 3 * hash(s, 9, 53));
        halfWidth *= 0.85 + 0.15 * std::sin((y - top) * 1.3);
        if (std::abs(x - centre) <= halfWidth)
            return true;
    }
    return false;
}

// The meadow: grass darkening toward the bottom edge, wind-combed texture, and small
// flowers in three colours.
Colour meadow(double x, double y, double top)
{
    double depth = (y - top) / (kHeight - top);
    Colour near{44, 84, 30}, far{110, 140, 64};
    Colour colour = mix(far, near, depth);
    double strands = fbm(x / 3.0 + y / 9.0, y / 2.0, 61, 3);
    colour = mix(colour, Colour{170, 190, 90}, (strands - 0.45) * 0.9 * (0.4 + depth));
    colour = mix(colour, Colour{255, 180, 100}, 0.22 * (1 - depth)); // evening light
    colour = mix(colour, Colour{30, 50, 20}, 0.5 * smoothstep(0.55, 0.75, fbm(x / 40.0, y / 14.0, 67, 4))); // tufts
    double size = 1.4 + 3.2 * depth;
    int cellX = static_cast<int>(std::floor(x / (8 * size)));
    int cellY = static_cast<int>(std::floor(y / (5 * size)));
    for (int cy = cellY - 1; cy <= cellY + 1; ++cy)
        for (int cx = cellX - 1; cx <= cellX + 1; ++cx) {
            if (hash(cx, cy, 71) > 0.45)
                continue;
            double fx = (cx + hash(cx, cy, 73)) * 8 * size;
            double fy = (cy + hash(cx, cy, 79)) * 5 * size;
            double d = std::hypot(x - fx, (y - fy) * 1.4);
            if (d < size) {
                double kind = hash(cx, cy, 83);
                Colour petal = kind < 0.4 ? Colour{250, 246, 236}
                    : kind < 0.75         ? Colour{250, 206, 60}
                                          : Colour{214, 80, 120};
                return mix(petal, colour, smoothstep(size * 0.5, size, d));
            }
        }
    return colour;
}

Colour paint(double x, double y)
{
    double farRidge = ridge(x, 352, 120, 190, 11);
    double nearRidge = ridge(x, 388, 70, 120, 23);
    double woodRidge = ridge(x, 430, 38, 80, 31);
    double meadowTop = 442 + 6 * fbm(x / 60.0, 1.5, 37, 3);
    if (y >= meadowTop)
        return meadow(x, y, meadowTop);
    if (y >= woodRidge || insideTree(x, y, woodRidge)) {
        Colour wood = mix(Colour{30, 52, 44}, Colour{18, 34, 30}, fbm(x / 6.0, y / 6.0, 89, 3));
        return mix(wood, Colour{120, 96, 90}, 0.12);
    }
    if (y >= nearRidge) {
        double haze = smoothstep(nearRidge, nearRidge + 80, y);
        Colour rock = mix(Colour{84, 90, 120}, Colour{64, 70, 96}, fbm(x / 14.0, y / 9.0, 97, 4));
        return mix(rock, Colour{190, 150, 150}, 0.25 + 0.3 * haze);
    }
    if (y >= farRidge) {
        Colour range = mix(Colour{136, 130, 170}, Colour{116, 112, 156}, fbm(x / 20.0, y / 12.0, 101, 4));
        double snow = smoothstep(farRidge + 10, farRidge, y) * smoothstep(0.55, 0.7, fbm(x / 8.0, y / 5.0, 103, 3));
        range = mix(range, Colour{236, 222, 230}, snow * smoothstep(300, 250, farRidge));
        return mix(range, Colour{236, 186, 160}, 0.35);
    }
    return sky(x, y);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tag-picture OUTPUT.jpg\n");
        return 2;
    }
    auto raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {kWidth, kHeight});
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            // Four samples per pixel keep the silhouettes' edges smooth.
            Colour sum{0, 0, 0};
            for (double oy : {0.25, 0.75})
                for (double ox : {0.25, 0.75}) {
                    Colour c = paint(x + ox, y + oy);
                    sum = {sum.r + c.r / 4, sum.g + c.g / 4, sum.b + c.b / 4};
                }
            std::uint8_t* p = raster->row(y) + 4 * x;
            p[0] = 255;
            p[1] = static_cast<std::uint8_t>(std::clamp(std::lround(sum.r), 0L, 255L));
            p[2] = static_cast<std::uint8_t>(std::clamp(std::lround(sum.g), 0L, 255L));
            p[3] = static_cast<std::uint8_t>(std::clamp(std::lround(sum.b), 0L, 255L));
        }
    }
    auto jpeg = image::encodeJPEG(*raster, 0.92f);
    if (!jpeg) {
        std::fprintf(stderr, "tag-picture: %s\n", jpeg.error()->localizedDescription().c_str());
        return 1;
    }
    if (auto written = writeFileAtomically(argv[1], *jpeg); !written) {
        std::fprintf(stderr, "tag-picture: %s\n", written.error()->localizedDescription().c_str());
        return 1;
    }
    return 0;
}
