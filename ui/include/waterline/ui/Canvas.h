// A software canvas over a premultiplied 32-bit pixel buffer, drawn with pixman. The
// screen is one (768 × 1024 pixels, one per point); the app also uses one to compose
// pictures off screen. Drawing goes through a current transform (translation and
// quarter turns, set by the view tree) and a clip; `save` and `restore` bracket changes
// to both.
//
//     Canvas composed({768, 1024}, PixelFormat::ARGB32Premultiplied);
//     composed.drawImage(*source, {0, 0, 768, 512});
//     composed.drawImage(*water, {0, 512, 768, 512});
//     std::unique_ptr<PixelBuffer> picture = composed.takePixels();
#pragma once

#include <waterline/foundation/PixelBuffer.h>
#include <waterline/ui/Color.h>

#include <memory>
#include <vector>

namespace waterline {

// A whole-pixel rectangle on the canvas.
struct PixelRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool isEmpty() const { return width <= 0 || height <= 0; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct ImageDrawOptions {
    double opacity = 1.0; // 0..1, multiplies the picture's alpha
    double darken = 0.0;  // 0..1, mixes the picture's colour toward black (pressed look)
};

class Canvas {
public:
    // A transparent canvas; `format` is the byte order of its pixels.
    explicit Canvas(Size, PixelFormat = PixelFormat::BGRA32Premultiplied);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    Size size() const;
    const PixelBuffer& pixels() const;
    // Hands the pixels over; the canvas is unusable afterwards.
    std::unique_ptr<PixelBuffer> takePixels();

    void save();
    void restore();
    void translate(double dx, double dy);
    void rotateQuarterTurns(int clockwise);
    // Narrows the clip to a rectangle in current (local) points.
    void clipToRect(RectF);
    // Replaces the whole clip by these canvas pixel rectangles (the window's dirty parts);
    // an empty list means no clip.
    void setDeviceClip(const std::vector<PixelRect>&);
    // Whether anything drawn in this local rectangle could show through the clip.
    bool intersectsClip(RectF) const;
    // The canvas pixels covered by a local rectangle (rounded outward).
    PixelRect deviceRect(RectF) const;

    void clear(Color);           // every pixel inside the clip, replaced
    void fillRect(RectF, Color); // blended over
    void fillTriangle(PointF a, PointF b, PointF c, Color);
    // Draws a picture into `dest` (local points), scaled when sizes differ.
    void drawImage(const PixelBuffer&, RectF dest, ImageDrawOptions = {});

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

} // namespace waterline
