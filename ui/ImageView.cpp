// An image view draws its shared picture where its content mode puts it. Replacing the
// picture redraws only the old and new picture areas, not the whole view, which keeps
// the per-frame water update to the rows that actually changed.
#include <waterline/ui/ImageView.h>

#include <waterline/ui/Canvas.h>

#include <cmath>

namespace waterline {

void ImageView::setImage(std::shared_ptr<const PixelBuffer> image)
{
    if (image == m_image)
        return;
    RectF before = imageRect();
    m_image = std::move(image);
    RectF after = imageRect();
    if (before.width > 0 && before.height > 0)
        setNeedsDisplay(before);
    if (after.width > 0 && after.height > 0 && !(after == before))
        setNeedsDisplay(after);
}

SizeF ImageView::imageSize() const
{
    if (!m_image)
        return {};
    return {static_cast<double>(m_image->width()), static_cast<double>(m_image->height())};
}

void ImageView::setContentMode(ContentMode mode)
{
    if (mode == m_mode)
        return;
    setNeedsDisplay(imageRect());
    m_mode = mode;
    setNeedsDisplay(imageRect());
}

RectF ImageView::imageRect() const
{
    if (!m_image)
        return {};
    RectF b = bounds();
    switch (m_mode) {
    case ContentMode::Top: {
        SizeF size = imageSize();
        // Whole points keep the picture on pixel boundaries, so it is copied, not filtered.
        double x = b.x + std::floor((b.width - size.width) / 2);
        return {x, b.y, size.width, size.height};
    }
    case ContentMode::ScaleToFill:
        break;
    }
    return b;
}

void ImageView::draw(Canvas& canvas)
{
    if (m_image)
        canvas.drawImage(*m_image, imageRect());
}

} // namespace waterline
