// The picker is a title bar (title and Cancel) above a PhotoGrid; it only wires the
// grid's taps and the button to the app's callbacks.
#include <waterline/ui/PhotoPicker.h>

#include "Label.h"
#include "PhotoGrid.h"

#include <waterline/ui/Button.h>
#include <waterline/ui/Canvas.h>

namespace waterline {
namespace {

constexpr Color kTitleBar{247, 247, 247, 255};
constexpr Color kSeparator{178, 178, 178, 255};
constexpr double kCancelWidth = 80;

} // namespace

PhotoPicker::PhotoPicker(SizeF size)
    : View(RectF{0, 0, size.width, size.height})
{
    setBackgroundColor(kTitleBar);
    auto& title = add<Label>("Photos", 17, true);
    title.setFrame({kCancelWidth, 0, size.width - 2 * kCancelWidth, kTitleBarHeight});
    m_cancel = &add<Button>(Button::Custom);
    m_cancel->setTitle("Cancel");
    m_cancel->setFrame({size.width - kCancelWidth, 0, kCancelWidth, kTitleBarHeight});
    m_cancel->addTarget(
        [this] {
            if (didCancel)
                didCancel();
        },
        ControlEvent::TouchUpInside);
    m_grid = &add<PhotoGrid>(kCellSize, kSpacing);
    m_grid->setFrame({0, kTitleBarHeight + 1, size.width, size.height - kTitleBarHeight - 1});
    m_grid->onTap = [this](int index) {
        if (didPick)
            didPick(index);
    };
}

PhotoPicker::~PhotoPicker() = default;

void PhotoPicker::setPhotoCount(int count)
{
    m_grid->setCount(count);
}
int PhotoPicker::photoCount() const
{
    return m_grid->count();
}

void PhotoPicker::setThumbnail(int index, std::shared_ptr<const PixelBuffer> thumbnail)
{
    m_grid->setThumbnail(index, std::move(thumbnail));
}

double PhotoPicker::contentOffset() const
{
    return m_grid->offset();
}
void PhotoPicker::setContentOffset(double offset)
{
    m_grid->setOffset(offset);
}
double PhotoPicker::maximumContentOffset() const
{
    return m_grid->maximumOffset();
}

std::optional<int> PhotoPicker::indexAt(PointF local) const
{
    PointF inGrid = m_grid->pointFromParent(local);
    if (!m_grid->bounds().contains(inGrid))
        return std::nullopt;
    return m_grid->indexAt(inGrid);
}

RectF PhotoPicker::cellFrame(int index) const
{
    RectF cell = m_grid->cellFrame(index);
    PointF a = m_grid->pointToParent({cell.x, cell.y});
    return {a.x, a.y, cell.width, cell.height};
}

void PhotoPicker::draw(Canvas& canvas)
{
    canvas.fillRect({0, kTitleBarHeight, bounds().width, 1}, kSeparator);
}

} // namespace waterline
