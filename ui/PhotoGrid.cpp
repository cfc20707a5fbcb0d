// Grid geometry, scrolling and thumbnail drawing for the photo picker.
#include "PhotoGrid.h"

#include <waterline/ui/Canvas.h>

#include <algorithm>
#include <cmath>

namespace waterline {
namespace {

constexpr Color kPlaceholder{200, 200, 200, 255};

} // namespace

PhotoGrid::PhotoGrid(double cellSize, double spacing)
    : m_cell(cellSize)
    , m_spacing(spacing)
{
    setClipsToBounds(true);
    setBackgroundColor(Color::white());
}

void PhotoGrid::setCount(int count)
{
    m_thumbnails.assign(static_cast<std::size_t>(std::max(count, 0)), nullptr);
    setOffset(offset());
    setNeedsDisplay();
}

void PhotoGrid::setThumbnail(int index, std::shared_ptr<const PixelBuffer> thumbnail)
{
    if (index < 0 || index >= count())
        return;
    m_thumbnails[static_cast<std::size_t>(index)] = std::move(thumbnail);
    setNeedsDisplay(cellFrame(index));
}

int PhotoGrid::columns() const
{
    return std::max(1, static_cast<int>((bounds().width - m_spacing) / (m_cell + m_spacing)));
}

RectF PhotoGrid::cellFrame(int index) const
{
    int cols = columns();
    // Spare width is shared out evenly, so the grid sits centred.
    double gap = (bounds().width - cols * m_cell) / (cols + 1);
    int row = index / cols, column = index % cols;
    return {gap + column * (m_cell + gap), m_spacing + row * (m_cell + m_spacing), m_cell, m_cell};
}

std::optional<int> PhotoGrid::indexAt(PointF p) const
{
    int cols = columns();
    int row = static_cast<int>(std::floor((p.y - m_spacing) / (m_cell + m_spacing)));
    if (row < 0)
        return std::nullopt;
    for (int column = 0; column < cols; ++column) {
        int index = row * cols + column;
        if (index < count() && cellFrame(index).contains(p))
            return index;
    }
    return std::nullopt;
}

double PhotoGrid::contentHeight() const
{
    int rows = (count() + columns() - 1) / columns();
    return m_spacing + rows * (m_cell + m_spacing);
}

double PhotoGrid::maximumOffset() const
{
    return std::max(0.0, contentHeight() - bounds().height);
}

void PhotoGrid::setOffset(double offset)
{
    setBoundsOrigin({0, std::clamp(offset, 0.0, maximumOffset())});
}

void PhotoGrid::layoutChanged()
{
    double clamped = std::clamp(offset(), 0.0, maximumOffset());
    if (clamped != offset())
        setBoundsOrigin({0, clamped});
}

void PhotoGrid::touchBegan(PointF p)
{
    m_touching = true;
    m_scrolling = false;
    m_touchStartOffset = offset();
    m_touchStartY = p.y - offset();
}

void PhotoGrid::touchMoved(PointF p)
{
    if (!m_touching)
        return;
    double moved = (p.y - offset()) - m_touchStartY;
    if (!m_scrolling && std::abs(moved) > kTapSlop)
        m_scrolling = true;
    if (m_scrolling)
        setOffset(m_touchStartOffset - moved);
}

void PhotoGrid::touchEnded(PointF p)
{
    touchMoved(p);
    bool tap = m_touching && !m_scrolling;
    m_touching = false;
    if (tap && bounds().contains(p))
        if (auto index = indexAt(p); index && onTap)
            onTap(*index); // last: the callback may close the picker
}

void PhotoGrid::touchCancelled()
{
    m_touching = false;
}

bool PhotoGrid::scrollWheel(PointF, double, double dy)
{
    setOffset(offset() - dy * kWheelStep);
    return true;
}

void PhotoGrid::draw(Canvas& canvas)
{
    RectF visible = bounds();
    int cols = columns();
    int firstRow = std::max(0, static_cast<int>(std::floor((visible.y - m_spacing) / (m_cell + m_spacing))));
    for (int index = firstRow * cols; index < count(); ++index) {
        RectF cell = cellFrame(index);
        if (cell.y >= visible.maxY())
            break;
        if (!canvas.intersectsClip(cell))
            continue;
        const auto& thumb = m_thumbnails[static_cast<std::size_t>(index)];
        if (!thumb || thumb->size().isEmpty()) {
            canvas.fillRect(cell, kPlaceholder);
            continue;
        }
        // Fill the square, cropping the longer side, as photo grids do.
        double scale = std::max(cell.width / thumb->width(), cell.height / thumb->height());
        double w = thumb->width() * scale, h = thumb->height() * scale;
        canvas.save();
        canvas.clipToRect(cell);
        canvas.drawImage(*thumb, {cell.x + (cell.width - w) / 2, cell.y + (cell.height - h) / 2, w, h});
        canvas.restore();
    }
}

} // namespace waterline
