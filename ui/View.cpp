// View geometry, the tree, hit testing and redraw requests. A view is a centre, a
// bounds rectangle and a quarter-turn rotation; every conversion between local and
// parent points goes through `pointFromParent` / `pointToParent`, so hit testing,
// drawing and touch delivery agree on where a view is.
#include <waterline/ui/View.h>

#include <waterline/ui/Canvas.h>
#include <waterline/ui/Window.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace waterline {
namespace {

// Rotates a vector by `turns` clockwise quarter turns (y points down).
PointF rotate(PointF v, int turns)
{
    switch (((turns % 4) + 4) % 4) {
    case 1:
        return {-v.y, v.x};
    case 2:
        return {-v.x, -v.y};
    case 3:
        return {v.y, -v.x};
    default:
        return v;
    }
}

RectF unite(RectF a, RectF b)
{
    double x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
    double x1 = std::max(a.maxX(), b.maxX()), y1 = std::max(a.maxY(), b.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace

View::View() = default;

View::View(RectF frame)
{
    setFrame(frame);
}

View::~View()
{
    Window::forgetView(*this);
}

View& View::addChild(std::unique_ptr<View> child)
{
    child->m_parent = this;
    m_children.push_back(std::move(child));
    View& added = *m_children.back();
    added.markSubtreeDirty();
    return added;
}

std::unique_ptr<View> View::removeChild(View& child)
{
    auto it = std::find_if(m_children.begin(), m_children.end(), [&](auto& c) { return c.get() == &child; });
    if (it == m_children.end())
        return nullptr;
    child.markSubtreeDirty();
    std::unique_ptr<View> removed = std::move(*it);
    m_children.erase(it);
    removed->m_parent = nullptr;
    return removed;
}

Window* View::window() const
{
    const View* v = this;
    while (v->m_parent)
        v = v->m_parent;
    return v->m_window;
}

RectF View::frame() const
{
    bool sideways = m_quarterTurns % 2 == 1;
    double w = sideways ? m_boundsSize.height : m_boundsSize.width;
    double h = sideways ? m_boundsSize.width : m_boundsSize.height;
    return {m_center.x - w / 2, m_center.y - h / 2, w, h};
}

void View::setFrame(RectF r)
{
    bool sideways = m_quarterTurns % 2 == 1;
    PointF center{r.x + r.width / 2, r.y + r.height / 2};
    SizeF size = sideways ? SizeF{r.height, r.width} : SizeF{r.width, r.height};
    if (center == m_center && size == m_boundsSize)
        return;
    geometryWillChange();
    m_center = center;
    m_boundsSize = size;
    geometryDidChange();
}

void View::setCenter(PointF center)
{
    if (center == m_center)
        return;
    geometryWillChange();
    m_center = center;
    geometryDidChange();
}

void View::setBoundsSize(SizeF size)
{
    if (size == m_boundsSize)
        return;
    geometryWillChange();
    m_boundsSize = size;
    geometryDidChange();
}

void View::setBoundsOrigin(PointF origin)
{
    if (origin == m_boundsOrigin)
        return;
    geometryWillChange();
    m_boundsOrigin = origin;
    geometryDidChange();
}

void View::setRotation(double radians)
{
    int turns = static_cast<int>(std::lround(radians / (std::numbers::pi / 2)));
    turns = ((turns % 4) + 4) % 4;
    if (turns == m_quarterTurns)
        return;
    geometryWillChange();
    m_quarterTurns = turns;
    geometryDidChange();
}

PointF View::pointFromParent(PointF p) const
{
    PointF local = rotate({p.x - m_center.x, p.y - m_center.y}, -m_quarterTurns);
    return {local.x + m_boundsSize.width / 2 + m_boundsOrigin.x, local.y + m_boundsSize.height / 2 + m_boundsOrigin.y};
}

PointF View::pointToParent(PointF p) const
{
    PointF d
        = rotate({p.x - m_boundsOrigin.x - m_boundsSize.width / 2, p.y - m_boundsOrigin.y - m_boundsSize.height / 2},
                 m_quarterTurns);
    return {m_center.x + d.x, m_center.y + d.y};
}

PointF View::pointFromScreen(PointF p) const
{
    return pointFromParent(m_parent ? m_parent->pointFromScreen(p) : p);
}

PointF View::pointToScreen(PointF p) const
{
    PointF inParent = pointToParent(p);
    return m_parent ? m_parent->pointToScreen(inParent) : inParent;
}

RectF View::rectToScreen(RectF r) const
{
    PointF a = pointToScreen({r.x, r.y});
    PointF b = pointToScreen({r.maxX(), r.maxY()});
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::abs(b.x - a.x), std::abs(b.y - a.y)};
}

void View::setHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    if (hidden)
        markSubtreeDirty();
    m_hidden = hidden;
    if (!hidden)
        markSubtreeDirty();
}

bool View::isVisibleInTree() const
{
    for (const View* v = this; v; v = v->m_parent)
        if (v->m_hidden)
            return false;
    return true;
}

bool View::isDescendantOf(const View& ancestor) const
{
    for (const View* v = this; v; v = v->m_parent)
        if (v == &ancestor)
            return true;
    return false;
}

void View::setBackgroundColor(std::optional<Color> color)
{
    if (color == m_background)
        return;
    m_background = color;
    setNeedsDisplay();
}

void View::setClipsToBounds(bool clips)
{
    if (clips == m_clipsToBounds)
        return;
    markSubtreeDirty();
    m_clipsToBounds = clips;
}

View* View::hitTest(PointF pointInParent)
{
    if (m_hidden || !acceptsTouches())
        return nullptr;
    PointF local = pointFromParent(pointInParent);
    if (!bounds().contains(local))
        return nullptr;
    for (auto it = m_children.rbegin(); it != m_children.rend(); ++it)
        if (View* hit = (*it)->hitTest(local))
            return hit;
    return this;
}

void View::setNeedsDisplay()
{
    setNeedsDisplay(bounds());
}

void View::setNeedsDisplay(RectF local)
{
    if (Window* w = window(); w && isVisibleInTree())
        w->markDirty(rectToScreen(local));
}

void View::drawTree(Canvas& canvas)
{
    if (m_hidden)
        return;
    canvas.save();
    canvas.translate(m_center.x, m_center.y);
    canvas.rotateQuarterTurns(m_quarterTurns);
    canvas.translate(-m_boundsSize.width / 2 - m_boundsOrigin.x, -m_boundsSize.height / 2 - m_boundsOrigin.y);
    if (m_clipsToBounds)
        canvas.clipToRect(bounds());
    if (m_background)
        canvas.fillRect(bounds(), *m_background);
    draw(canvas);
    for (auto& child : m_children)
        child->drawTree(canvas);
    canvas.restore();
}

std::optional<RectF> View::screenBoundsOfSubtree() const
{
    if (m_hidden)
        return std::nullopt;
    RectF box = rectToScreen(bounds());
    for (auto& child : m_children)
        if (auto childBox = child->screenBoundsOfSubtree())
            box = unite(box, *childBox);
    return box;
}

void View::markSubtreeDirty()
{
    Window* w = window();
    if (!w || !isVisibleInTree())
        return;
    if (auto box = screenBoundsOfSubtree())
        w->markDirty(*box);
}

void View::geometryWillChange()
{
    markSubtreeDirty();
}

void View::geometryDidChange()
{
    markSubtreeDirty();
    layoutChanged();
}

} // namespace waterline
