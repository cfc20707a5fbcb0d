// The canvas keeps a stack of drawing states (transform and clip) and turns every
// primitive into one pixman composite onto its pixel buffer. Pictures are wrapped, never
// copied: a pixman image is made over the caller's buffer for the length of one draw.
#include <waterline/ui/Canvas.h>

#include <pixman.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>

namespace waterline {
namespace {

static_assert(std::endian::native == std::endian::little, "pixel formats below assume little-endian words");

// pixman names formats by the 32-bit word; on a little-endian machine bytes A,R,G,B in
// memory are the word B<<24 | G<<16 | R<<8 | A.
pixman_format_code_t pixmanFormat(PixelFormat format)
{
    return format == PixelFormat::ARGB32Premultiplied ? PIXMAN_b8g8r8a8 : PIXMAN_a8r8g8b8;
}

pixman_color_t premultiplied(Color c, double extraAlpha = 1.0)
{
    double a = c.alpha / 255.0 * std::clamp(extraAlpha, 0.0, 1.0);
    auto channel = [a](std::uint8_t v) { return static_cast<std::uint16_t>(std::lround(v / 255.0 * a * 65535)); };
    return {channel(c.red), channel(c.green), channel(c.blue), static_cast<std::uint16_t>(std::lround(a * 65535))};
}

struct ImageDeleter {
    void operator()(pixman_image_t* image) const { pixman_image_unref(image); }
};
using ImageRef = std::unique_ptr<pixman_image_t, ImageDeleter>;

ImageRef solid(Color c, double extraAlpha = 1.0)
{
    pixman_color_t color = premultiplied(c, extraAlpha);
    return ImageRef(pixman_image_create_solid_fill(&color));
}

ImageRef wrapBuffer(const PixelBuffer& buffer)
{
    // pixman wants 4-byte aligned rows; PixelBuffer rows of other strides are rare
    // (wrapped foreign memory) and refused rather than misread.
    if (buffer.stride() % 4 != 0 || buffer.size().isEmpty())
        return nullptr;
    auto* bits = reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(buffer.data()));
    return ImageRef(pixman_image_create_bits_no_clear(pixmanFormat(buffer.format()), buffer.width(), buffer.height(),
                                                      bits, static_cast<int>(buffer.stride())));
}

// device = M · local + t, where M is a quarter-turn rotation.
struct Transform {
    int a = 1, b = 0, c = 0, d = 1; // M = [[a, b], [c, d]]
    double tx = 0, ty = 0;

    PointF apply(PointF p) const { return {a * p.x + b * p.y + tx, c * p.x + d * p.y + ty}; }
    // M is orthonormal, so its inverse is its transpose.
    PointF invert(PointF p) const
    {
        double x = p.x - tx, y = p.y - ty;
        return {a * x + c * y, b * x + d * y};
    }
};

struct Region {
    pixman_region32_t region;
    Region() { pixman_region32_init(&region); }
    explicit Region(PixelRect r)
    {
        pixman_region32_init_rect(&region, r.x, r.y, std::max(r.width, 0), std::max(r.height, 0));
    }
    Region(const Region& other)
    {
        pixman_region32_init(&region);
        pixman_region32_copy(&region, const_cast<pixman_region32_t*>(&other.region));
    }
    Region& operator=(const Region& other)
    {
        if (this != &other)
            pixman_region32_copy(&region, const_cast<pixman_region32_t*>(&other.region));
        return *this;
    }
    ~Region() { pixman_region32_fini(&region); }
};

struct State {
    Transform transform;
    Region clip;
};

} // namespace

struct Canvas::Impl {
    std::unique_ptr<PixelBuffer> pixels;
    ImageRef dest;
    std::vector<State> states;
    bool clipApplied = false;

    State& state() { return states.back(); }
    const State& state() const { return states.back(); }

    PixelRect bounds() const { return {0, 0, pixels->width(), pixels->height()}; }

    void applyClip()
    {
        if (clipApplied)
            return;
        pixman_image_set_clip_region32(dest.get(), &state().clip.region);
        clipApplied = true;
    }

    bool clipIsEmpty() const
    {
        return !pixman_region32_not_empty(const_cast<pixman_region32_t*>(&state().clip.region));
    }
};

Canvas::Canvas(Size size, PixelFormat format)
    : m(std::make_unique<Impl>())
{
    m->pixels = PixelBuffer::create(format, size);
    if (!m->pixels || size.isEmpty())
        throw std::invalid_argument("Canvas: size must be positive");
    m->dest = wrapBuffer(*m->pixels);
    m->states.push_back({{}, Region(m->bounds())});
}

Canvas::~Canvas() = default;

Size Canvas::size() const
{
    return m->pixels->size();
}
const PixelBuffer& Canvas::pixels() const
{
    return *m->pixels;
}

std::unique_ptr<PixelBuffer> Canvas::takePixels()
{
    m->dest.reset();
    return std::move(m->pixels);
}

void Canvas::save()
{
    m->states.push_back(m->state());
}

void Canvas::restore()
{
    if (m->states.size() > 1) {
        m->states.pop_back();
        m->clipApplied = false;
    }
}

void Canvas::translate(double dx, double dy)
{
    Transform& t = m->state().transform;
    t.tx += t.a * dx + t.b * dy;
    t.ty += t.c * dx + t.d * dy;
}

void Canvas::rotateQuarterTurns(int clockwise)
{
    Transform& t = m->state().transform;
    for (int i = ((clockwise % 4) + 4) % 4; i > 0; --i) {
        // M · R, with R = [[0, -1], [1, 0]] turning +x onto +y (clockwise on screen).
        int a = t.b, b = -t.a, c = t.d, d = -t.c;
        t.a = a, t.b = b, t.c = c, t.d = d;
    }
}

PixelRect Canvas::deviceRect(RectF r) const
{
    const Transform& t = m->state().transform;
    PointF p = t.apply({r.x, r.y});
    PointF q = t.apply({r.maxX(), r.maxY()});
    // A small tolerance keeps exact whole-point edges from growing by a pixel.
    constexpr double kEpsilon = 1e-6;
    double x0 = std::floor(std::min(p.x, q.x) + kEpsilon), y0 = std::floor(std::min(p.y, q.y) + kEpsilon);
    double x1 = std::ceil(std::max(p.x, q.x) - kEpsilon), y1 = std::ceil(std::max(p.y, q.y) - kEpsilon);
    constexpr double kLimit = 1 << 28;
    x0 = std::clamp(x0, -kLimit, kLimit), y0 = std::clamp(y0, -kLimit, kLimit);
    x1 = std::clamp(x1, -kLimit, kLimit), y1 = std::clamp(y1, -kLimit, kLimit);
    return {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0), static_cast<int>(y1 - y0)};
}

void Canvas::clipToRect(RectF r)
{
    Region rect(deviceRect(r));
    pixman_region32_intersect(&m->state().clip.region, &m->state().clip.region, &rect.region);
    m->clipApplied = false;
}

void Canvas::setDeviceClip(const std::vector<PixelRect>& rects)
{
    Region all(m->bounds());
    if (!rects.empty()) {
        Region clip;
        for (const PixelRect& r : rects) {
            Region one(r);
            pixman_region32_union(&clip.region, &clip.region, &one.region);
        }
        pixman_region32_intersect(&all.region, &all.region, &clip.region);
    }
    m->state().clip = all;
    m->clipApplied = false;
}

bool Canvas::intersectsClip(RectF r) const
{
    PixelRect d = deviceRect(r);
    if (d.isEmpty())
        return false;
    pixman_box32_t box{d.x, d.y, d.x + d.width, d.y + d.height};
    return pixman_region32_contains_rectangle(const_cast<pixman_region32_t*>(&m->state().clip.region), &box)
        != PIXMAN_REGION_OUT;
}

void Canvas::clear(Color color)
{
    if (m->clipIsEmpty())
        return;
    m->applyClip();
    auto fill = solid(color);
    PixelRect b = m->bounds();
    pixman_image_composite32(PIXMAN_OP_SRC, fill.get(), nullptr, m->dest.get(), 0, 0, 0, 0, b.x, b.y, b.width,
                             b.height);
}

void Canvas::fillRect(RectF r, Color color)
{
    if (color.isClear() || !intersectsClip(r))
        return;
    m->applyClip();
    PixelRect d = deviceRect(r);
    auto fill = solid(color);
    pixman_op_t op = color.alpha == 255 ? PIXMAN_OP_SRC : PIXMAN_OP_OVER;
    pixman_image_composite32(op, fill.get(), nullptr, m->dest.get(), 0, 0, 0, 0, d.x, d.y, d.width, d.height);
}

void Canvas::fillTriangle(PointF a, PointF b, PointF c, Color color)
{
    if (color.isClear() || m->clipIsEmpty())
        return;
    m->applyClip();
    const Transform& t = m->state().transform;
    auto fixed = [&](PointF p) {
        PointF d = t.apply(p);
        return pixman_point_fixed_t{pixman_double_to_fixed(d.x), pixman_double_to_fixed(d.y)};
    };
    pixman_triangle_t triangle{fixed(a), fixed(b), fixed(c)};
    auto fill = solid(color);
    pixman_composite_triangles(PIXMAN_OP_OVER, fill.get(), m->dest.get(), PIXMAN_a8, 0, 0, 0, 0, 1, &triangle);
}

void Canvas::drawImage(const PixelBuffer& picture, RectF dest, ImageDrawOptions options)
{
    if (options.opacity <= 0 || dest.width <= 0 || dest.height <= 0 || !intersectsClip(dest))
        return;
    ImageRef source = wrapBuffer(picture);
    if (!source)
        return;
    m->applyClip();
    PixelRect d = deviceRect(dest);
    const Transform& t = m->state().transform;
    PointF origin = t.apply({dest.x, dest.y});
    bool identity = t.a == 1 && t.d == 1 && t.b == 0 && t.c == 0;
    bool naturalSize = dest.width == picture.width() && dest.height == picture.height();
    bool wholePixels = origin.x == std::floor(origin.x) && origin.y == std::floor(origin.y);

    int srcX = 0, srcY = 0;
    if (identity && naturalSize && wholePixels) {
        // The common case (the water picture every frame): a straight blit, no filtering.
        srcX = d.x - static_cast<int>(origin.x);
        srcY = d.y - static_cast<int>(origin.y);
    } else {
        // pixman maps destination pixels to source pixels: source = S · M⁻¹ · (device − t).
        double sx = picture.width() / dest.width, sy = picture.height() / dest.height;
        pixman_f_transform_t f{};
        f.m[0][0] = sx * t.a, f.m[0][1] = sx * t.c, f.m[0][2] = sx * (-(t.a * t.tx + t.c * t.ty) - dest.x);
        f.m[1][0] = sy * t.b, f.m[1][1] = sy * t.d, f.m[1][2] = sy * (-(t.b * t.tx + t.d * t.ty) - dest.y);
        f.m[2][2] = 1;
        pixman_transform_t fixed;
        pixman_transform_from_pixman_f_transform(&fixed, &f);
        pixman_image_set_transform(source.get(), &fixed);
        bool scaled = std::abs(sx - 1) > 1e-9 || std::abs(sy - 1) > 1e-9;
        pixman_image_set_filter(source.get(), scaled ? PIXMAN_FILTER_BILINEAR : PIXMAN_FILTER_NEAREST, nullptr, 0);
        pixman_image_set_repeat(source.get(), PIXMAN_REPEAT_PAD);
        srcX = d.x, srcY = d.y;
    }
    ImageRef mask = options.opacity < 1 ? solid(Color::black(), options.opacity) : nullptr;
    pixman_image_composite32(PIXMAN_OP_OVER, source.get(), mask.get(), m->dest.get(), srcX, srcY, 0, 0, d.x, d.y,
                             d.width, d.height);
    if (options.darken > 0) {
        // Black through the picture's own alpha darkens only where the picture is.
        auto shade = solid(Color::black(), options.darken * std::min(options.opacity, 1.0));
        pixman_image_composite32(PIXMAN_OP_OVER, shade.get(), source.get(), m->dest.get(), 0, 0, srcX, srcY, d.x, d.y,
                                 d.width, d.height);
    }
}

} // namespace waterline
