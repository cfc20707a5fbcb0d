// How the fixed screen (in points) sits in a window of any size: scaled uniformly to the
// largest size that fits, centred, with bars on the two other sides. The same mapping
// takes window coordinates back to screen points, so a click lands where it was drawn.
#pragma once

#include <waterline/foundation/Geometry.h>

namespace waterline {

class Letterbox {
public:
    Letterbox(SizeF screen, SizeF window);

    double scale() const { return m_scale; }
    // The screen's rectangle inside the window, in window coordinates.
    RectF screenRect() const { return m_rect; }
    PointF toScreen(PointF windowPoint) const;
    PointF toWindow(PointF screenPoint) const;
    // Whether a window point falls on the screen rather than on a bar.
    bool isOnScreen(PointF windowPoint) const { return m_rect.contains(windowPoint); }

private:
    double m_scale = 1;
    RectF m_rect;
};

} // namespace waterline
