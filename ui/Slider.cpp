// Slider value mapping and drawing, all in the slider's own (unrotated) points: the
// track runs along local x between the thumb's two extreme centres, so the window's
// conversion of screen points into local points is all a rotated slider needs.
#include <waterline/ui/Slider.h>

#include <waterline/ui/Canvas.h>

#include <algorithm>
#include <cmath>

namespace waterline {
namespace {

constexpr double kTrackThickness = 4;
constexpr Color kMinimumTrack{0, 122, 255, 255};
constexpr Color kMaximumTrack{182, 182, 182, 255};
constexpr double kDisabledOpacity = 0.35;

// A white disc with a soft grey rim, antialiased by 4 × 4 supersampling. Made once.
std::shared_ptr<const PixelBuffer> thumbPicture()
{
    static const std::shared_ptr<const PixelBuffer> picture = [] {
        int side = static_cast<int>(Slider::kThumbRadius * 2);
        std::shared_ptr<PixelBuffer> p = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, {side, side});
        double r = Slider::kThumbRadius - 0.5, rim = 1.5;
        for (int y = 0; y < side; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(p->row(y));
            for (int x = 0; x < side; ++x) {
                double cover = 0, inner = 0;
                for (int sy = 0; sy < 4; ++sy)
                    for (int sx = 0; sx < 4; ++sx) {
                        double dx = x + (sx + 0.5) / 4 - side / 2.0, dy = y + (sy + 0.5) / 4 - side / 2.0;
                        double d = std::sqrt(dx * dx + dy * dy);
                        cover += d <= r ? 1.0 / 16 : 0;
                        inner += d <= r - rim ? 1.0 / 16 : 0;
                    }
                // Inside: white; the rim: grey. Premultiplied by coverage.
                double grey = 160 * (cover - inner) + 255 * inner;
                auto a = static_cast<std::uint32_t>(std::lround(cover * 255));
                auto c = static_cast<std::uint32_t>(std::lround(grey));
                row[x] = a << 24 | c << 16 | c << 8 | c;
            }
        }
        return std::shared_ptr<const PixelBuffer>(std::move(p));
    }();
    return picture;
}

} // namespace

void Slider::setMinimumValue(float minimum)
{
    m_minimum = minimum;
    m_maximum = std::max(m_maximum, minimum);
    setValue(m_value);
    setNeedsDisplay();
}

void Slider::setMaximumValue(float maximum)
{
    m_maximum = maximum;
    m_minimum = std::min(m_minimum, maximum);
    setValue(m_value);
    setNeedsDisplay();
}

void Slider::setValue(float value, AllowCallback callback)
{
    float clamped = std::clamp(value, m_minimum, m_maximum);
    if (clamped == m_value)
        return;
    m_value = clamped;
    setNeedsDisplay();
    if (callback == AllowCallback::Yes)
        sendActions(ControlEvent::ValueChanged);
}

float Slider::valueAt(PointF local) const
{
    RectF b = bounds();
    double travel = b.width - 2 * kThumbRadius;
    double t = travel > 0 ? (local.x - b.x - kThumbRadius) / travel : 0;
    t = std::clamp(t, 0.0, 1.0);
    return static_cast<float>(m_minimum + t * (static_cast<double>(m_maximum) - m_minimum));
}

PointF Slider::thumbCenter() const
{
    RectF b = bounds();
    double range = static_cast<double>(m_maximum) - m_minimum;
    double t = range > 0 ? (static_cast<double>(m_value) - m_minimum) / range : 0;
    double travel = std::max(0.0, b.width - 2 * kThumbRadius);
    return {b.x + kThumbRadius + t * travel, b.y + b.height / 2};
}

void Slider::trackTo(PointF local)
{
    float before = m_value;
    setValue(valueAt(local));
    if (m_value != before && m_continuous)
        sendActions(ControlEvent::ValueChanged);
}

void Slider::touchBegan(PointF p)
{
    m_valueAtTouchStart = m_value;
    setHighlighted(true);
    trackTo(p);
}

void Slider::touchMoved(PointF p)
{
    trackTo(p);
}

void Slider::touchEnded(PointF p)
{
    trackTo(p);
    setHighlighted(false);
    if (!isContinuous() && m_value != m_valueAtTouchStart)
        sendActions(ControlEvent::ValueChanged);
}

void Slider::touchCancelled()
{
    setHighlighted(false);
}

void Slider::draw(Canvas& canvas)
{
    RectF b = bounds();
    double opacity = isEnabled() ? 1.0 : kDisabledOpacity;
    auto faded = [opacity](Color c) { return c.withAlpha(static_cast<std::uint8_t>(std::lround(c.alpha * opacity))); };
    PointF thumb = thumbCenter();
    double trackY = b.y + std::floor((b.height - kTrackThickness) / 2);
    double start = b.x + kThumbRadius / 2, end = b.maxX() - kThumbRadius / 2;
    canvas.fillRect({start, trackY, std::max(0.0, thumb.x - start), kTrackThickness}, faded(kMinimumTrack));
    canvas.fillRect({thumb.x, trackY, std::max(0.0, end - thumb.x), kTrackThickness}, faded(kMaximumTrack));
    auto picture = thumbPicture();
    double side = picture->width();
    canvas.drawImage(*picture, {std::round(thumb.x - side / 2), std::round(thumb.y - side / 2), side, side},
                     {.opacity = opacity, .darken = isHighlighted() ? 0.1 : 0.0});
}

} // namespace waterline
