// The letterbox scale is the smaller of the two side ratios; the leftover length on the
// other axis is split evenly into two bars.
#include <waterline/ui/Letterbox.h>

#include <algorithm>

namespace waterline {

Letterbox::Letterbox(SizeF screen, SizeF window)
{
    if (screen.width <= 0 || screen.height <= 0 || window.width <= 0 || window.height <= 0)
        return;
    m_scale = std::min(window.width / screen.width, window.height / screen.height);
    double w = screen.width * m_scale, h = screen.height * m_scale;
    m_rect = {(window.width - w) / 2, (window.height - h) / 2, w, h};
}

PointF Letterbox::toScreen(PointF p) const
{
    return {(p.x - m_rect.x) / m_scale, (p.y - m_rect.y) / m_scale};
}

PointF Letterbox::toWindow(PointF p) const
{
    return {m_rect.x + p.x * m_scale, m_rect.y + p.y * m_scale};
}

} // namespace waterline
