// The photo chooser shown in the album popover: a title bar with a Cancel button over a
// scrollable grid of thumbnails. The app tells it how many photos there are and hands
// thumbnails over as they are decoded (in the background, delivered on the main
// thread); a cell without one shows a grey placeholder. A tap on a cell calls `didPick`
// with its index; Cancel calls `didCancel`. The grid scrolls with a drag (a touch that
// moves more than a few points is a scroll, not a tap) and with the mouse wheel.
//
//     auto picker = std::make_unique<PhotoPicker>();
//     picker->setPhotoCount(paths.size());
//     picker->didPick = [this](int i) { pickedPhoto(i); };
//     picker->didCancel = [this] { imagePickerControllerDidCancel(); };
//     ... later, per decoded file: picker->setThumbnail(i, std::move(thumb));
#pragma once

#include <waterline/foundation/PixelBuffer.h>
#include <waterline/ui/View.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class Button;
class PhotoGrid;

class PhotoPicker : public View {
public:
    static constexpr SizeF kDefaultSize{320, 480};
    static constexpr double kCellSize = 75; // thumbnails are drawn fitted in this square
    static constexpr double kSpacing = 4;
    static constexpr double kTitleBarHeight = 44;

    explicit PhotoPicker(SizeF size = kDefaultSize);
    ~PhotoPicker() override;

    void setPhotoCount(int);
    int photoCount() const;
    // Any size; drawn scaled to fit a cell. None clears it back to the placeholder.
    void setThumbnail(int index, std::shared_ptr<const PixelBuffer>);

    std::function<void(int index)> didPick;
    std::function<void()> didCancel;

    // Scrolling, in points from the top of the grid.
    double contentOffset() const;
    void setContentOffset(double);
    double maximumContentOffset() const;
    // The cell under a point in the picker's local points, if any.
    std::optional<int> indexAt(PointF local) const;
    // A cell's frame in the picker's local points (ignoring the clip of the grid).
    RectF cellFrame(int index) const;

    Button& cancelButton() { return *m_cancel; }

    void draw(Canvas&) override;

private:
    Button* m_cancel = nullptr;
    PhotoGrid* m_grid = nullptr;
};

} // namespace waterline
