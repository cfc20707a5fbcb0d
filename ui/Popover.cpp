// The popover's panel is a view of its own: a dark rounded-off body around the content
// and an arrow on the side facing the anchor. Placement picks the side with room, in
// the order below, above, then centred on the screen without an arrow.
#include <waterline/ui/Popover.h>

#include <waterline/ui/Canvas.h>
#include <waterline/ui/Window.h>

#include <algorithm>
#include <cmath>

namespace waterline {
namespace {

constexpr Color kPanelColor{38, 38, 42, 255};
constexpr double kMargin = 10;

enum class ArrowSide { None, Top, Bottom };

class PopoverPanel : public View {
public:
    ArrowSide arrow = ArrowSide::None;
    double arrowX = 0; // in local points

    RectF body() const
    {
        RectF b = bounds();
        if (arrow == ArrowSide::Top)
            return {b.x, b.y + Popover::kArrow, b.width, b.height - Popover::kArrow};
        if (arrow == ArrowSide::Bottom)
            return {b.x, b.y, b.width, b.height - Popover::kArrow};
        return b;
    }

    void draw(Canvas& canvas) override
    {
        canvas.fillRect(body(), kPanelColor);
        double a = Popover::kArrow;
        if (arrow == ArrowSide::Top)
            canvas.fillTriangle({arrowX - a, a + 1}, {arrowX + a, a + 1}, {arrowX, 0}, kPanelColor);
        else if (arrow == ArrowSide::Bottom) {
            double y = bounds().height - a;
            canvas.fillTriangle({arrowX - a, y - 1}, {arrowX + a, y - 1}, {arrowX, bounds().height}, kPanelColor);
        }
    }
};

} // namespace

Popover::Popover(std::unique_ptr<View> content)
{
    auto panel = std::make_unique<PopoverPanel>();
    m_content = &panel->addChild(std::move(content));
    m_panel = std::move(panel);
}

Popover::~Popover()
{
    Window* last = m_window;
    dismiss();
    // The content may be the caller of this destructor (a picker's callback dropping
    // the popover); the window then destroys the panel once that event is handled.
    Window::retire(last, std::move(m_panel));
}

void Popover::presentFromRect(RectF anchor, Window& window)
{
    auto& panel = static_cast<PopoverPanel&>(*m_panel);
    SizeF content = m_content->frame().size();
    double bodyWidth = content.width + 2 * kBorder, bodyHeight = content.height + 2 * kBorder;
    SizeF screen = Window::kScreenSize;
    double x = std::clamp(anchor.x + anchor.width / 2 - bodyWidth / 2, kMargin,
                          std::max(kMargin, screen.width - kMargin - bodyWidth));
    double anchorX = std::clamp(anchor.x + anchor.width / 2 - x, kArrow + kBorder, bodyWidth - kArrow - kBorder);
    double height = bodyHeight + kArrow;
    if (anchor.maxY() + height <= screen.height - kMargin) {
        panel.arrow = ArrowSide::Top;
        panel.arrowX = anchorX;
        panel.setFrame({x, anchor.maxY(), bodyWidth, height});
        m_content->setFrame({kBorder, kArrow + kBorder, content.width, content.height});
    } else if (anchor.y - height >= kMargin) {
        panel.arrow = ArrowSide::Bottom;
        panel.arrowX = anchorX;
        panel.setFrame({x, anchor.y - height, bodyWidth, height});
        m_content->setFrame({kBorder, kBorder, content.width, content.height});
    } else {
        panel.arrow = ArrowSide::None;
        panel.setFrame({std::floor((screen.width - bodyWidth) / 2), std::floor((screen.height - bodyHeight) / 2),
                        bodyWidth, bodyHeight});
        m_content->setFrame({kBorder, kBorder, content.width, content.height});
    }
    m_window = &window;
    window.presentPopover(*this);
}

void Popover::dismiss()
{
    if (!m_window)
        return;
    Window* window = m_window;
    m_window = nullptr;
    window->removePopover(*this);
}

void Popover::dismissedByWindow()
{
    dismiss();
    if (didDismissByOutsideTap)
        didDismissByOutsideTap();
}

} // namespace waterline
