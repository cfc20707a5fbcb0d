// Button drawing and touch tracking. The pressed look and the disabled look are made
// from the normal picture when no picture is given for those states, as the original
// toolkit does for custom buttons.
#include <waterline/ui/Button.h>

#include "Font.h"

#include <waterline/ui/Canvas.h>

#include <algorithm>
#include <cmath>

namespace waterline {
namespace {

std::size_t slot(ControlState state)
{
    return static_cast<std::size_t>(state);
}

constexpr int kTitlePixelSize = 17;
constexpr double kHighlightDarken = 0.35;

} // namespace

Button::Button(Type) {}

Button::Button(Type, RectF frame)
    : Control(frame)
{
}

void Button::setImage(std::shared_ptr<const PixelBuffer> image, ControlState state)
{
    m_images[slot(state)] = std::move(image);
    setNeedsDisplay();
}

const std::shared_ptr<const PixelBuffer>& Button::image(ControlState state) const
{
    return m_images[slot(state)];
}

void Button::setTitle(std::string title)
{
    m_title = std::move(title);
    m_renderedTitle.reset();
    setNeedsDisplay();
}

void Button::setTitleColor(Color color)
{
    m_titleColor = color;
    m_renderedTitle.reset();
    setNeedsDisplay();
}

void Button::setBold(bool bold)
{
    m_bold = bold;
    m_renderedTitle.reset();
    setNeedsDisplay();
}

void Button::touchBegan(PointF)
{
    setHighlighted(true);
    sendActions(ControlEvent::TouchDown);
}

void Button::touchMoved(PointF p)
{
    setHighlighted(bounds().contains(p));
}

void Button::touchEnded(PointF p)
{
    bool inside = bounds().contains(p);
    setHighlighted(false);
    if (inside && isEnabled() && isVisibleInTree())
        sendActions(ControlEvent::TouchUpInside); // last: an action may destroy the button
}

void Button::touchCancelled()
{
    setHighlighted(false);
}

void Button::draw(Canvas& canvas)
{
    ControlState current = state();
    const auto& own = m_images[slot(current)];
    // A selected button keeps its selected picture while pressed.
    const auto& fallback = isSelected() && m_images[slot(ControlState::Selected)]
        ? m_images[slot(ControlState::Selected)]
        : m_images[slot(ControlState::Normal)];
    const auto& picture = own ? own : fallback;
    ImageDrawOptions look;
    if (current == ControlState::Disabled && !own)
        look.opacity = kDisabledOpacity;
    if (current == ControlState::Highlighted && !own)
        look.darken = kHighlightDarken;

    RectF b = bounds();
    if (!picture && current == ControlState::Highlighted)
        canvas.fillRect(b, {0, 0, 0, 32}); // text-only buttons show the press as a shade
    if (picture) {
        double w = picture->width(), h = picture->height();
        double shrink = std::min({1.0, b.width / w, b.height / h});
        w *= shrink, h *= shrink;
        RectF dest{b.x + std::floor((b.width - w) / 2), b.y + std::floor((b.height - h) / 2), w, h};
        canvas.drawImage(*picture, dest, look);
    }
    if (!m_title.empty()) {
        if (!m_renderedTitle)
            if (auto font = Font::get(kTitlePixelSize, m_bold))
                m_renderedTitle = font->render(m_title, m_titleColor);
        if (m_renderedTitle) {
            double w = m_renderedTitle->width(), h = m_renderedTitle->height();
            RectF dest{b.x + std::floor((b.width - w) / 2), b.y + std::floor((b.height - h) / 2), w, h};
            canvas.drawImage(*m_renderedTitle, dest, look);
        }
    }
}

} // namespace waterline
