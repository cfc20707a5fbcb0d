// The scrolling grid of the photo picker: square cells in rows, drawn for the visible
// rows only. Scrolling moves the view's bounds origin, so cell frames stay in content
// points. A touch that moves more than `kTapSlop` points scrolls; one that does not is
// a tap on the cell under it.
#pragma once

#include <waterline/foundation/PixelBuffer.h>
#include <waterline/ui/View.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace waterline {

class PhotoGrid : public View {
public:
    static constexpr double kTapSlop = 8;
    static constexpr double kWheelStep = 40; // points per wheel notch

    PhotoGrid(double cellSize, double spacing);

    void setCount(int);
    int count() const { return static_cast<int>(m_thumbnails.size()); }
    void setThumbnail(int index, std::shared_ptr<const PixelBuffer>);

    int columns() const;
    RectF cellFrame(int index) const; // content points
    std::optional<int> indexAt(PointF content) const;
    double contentHeight() const;
    double offset() const { return bounds().y; }
    double maximumOffset() const;
    void setOffset(double);

    std::function<void(int)> onTap;

    void touchBegan(PointF) override;
    void touchMoved(PointF) override;
    void touchEnded(PointF) override;
    void touchCancelled() override;
    bool scrollWheel(PointF, double dx, double dy) override;
    void draw(Canvas&) override;

protected:
    void layoutChanged() override;

private:
    double m_cell;
    double m_spacing;
    std::vector<std::shared_ptr<const PixelBuffer>> m_thumbnails;
    // The touch in view points (content point minus offset), and the offset it began at.
    double m_touchStartY = 0;
    double m_touchStartOffset = 0;
    bool m_scrolling = false;
    bool m_touching = false;
};

} // namespace waterline
