// The alert's box: title, wrapped message and a row of buttons (two side by side, any
// other number stacked), laid out when it comes to the front. Button taps go through
// `dismissWithButtonIndex`, i.e. through the window's queue.
#include <waterline/ui/AlertView.h>

#include "Label.h"

#include <waterline/ui/Button.h>
#include <waterline/ui/Canvas.h>
#include <waterline/ui/Window.h>

#include <cmath>
#include <stdexcept>

namespace waterline {
namespace {

constexpr double kWidth = 280;
constexpr double kPadding = 16;
constexpr double kButtonHeight = 44;
constexpr int kTitleSize = 17;
constexpr int kMessageSize = 14;
constexpr Color kBoxColor{242, 242, 242, 255};
constexpr Color kSeparator{200, 200, 200, 255};

} // namespace

AlertView::AlertView(std::string title, std::string message, std::string cancelButtonTitle)
    : m_title(std::move(title))
    , m_message(std::move(message))
{
    if (!cancelButtonTitle.empty()) {
        m_buttonTitles.push_back(std::move(cancelButtonTitle));
        m_hasCancel = true;
    }
    setBackgroundColor(kBoxColor);
}

AlertView::~AlertView() = default;

int AlertView::addButtonWithTitle(std::string title)
{
    m_buttonTitles.push_back(std::move(title));
    m_built = false;
    return numberOfButtons() - 1;
}

const std::string& AlertView::buttonTitleAtIndex(int index) const
{
    if (index < 0 || index >= numberOfButtons())
        throw std::out_of_range("AlertView: no button at index " + std::to_string(index));
    return m_buttonTitles[static_cast<std::size_t>(index)];
}

void AlertView::dismissWithButtonIndex(int index)
{
    if (Window* w = window()) {
        w->removeAlert(*this, index);
        return;
    }
    // Never shown: there is nothing to take down, only the delegate to tell.
    if (didDismissWithButtonIndex)
        didDismissWithButtonIndex(*this, index);
}

void AlertView::buildButtons()
{
    while (!children().empty())
        removeChild(*children().back());
    m_buttons.clear();
    double inner = kWidth - 2 * kPadding;
    auto& title = add<Label>(m_title, kTitleSize, true);
    double titleHeight = title.heightForWidth(inner);
    title.setFrame({kPadding, kPadding, inner, titleHeight});
    auto& message = add<Label>(m_message, kMessageSize);
    double messageHeight = message.heightForWidth(inner);
    message.setFrame({kPadding, kPadding + titleHeight + 6, inner, messageHeight});
    double top = kPadding + titleHeight + 6 + messageHeight + kPadding;

    int count = numberOfButtons();
    bool sideBySide = count == 2;
    for (int i = 0; i < count; ++i) {
        auto& button = add<Button>(Button::Custom);
        button.setTitle(m_buttonTitles[static_cast<std::size_t>(i)]);
        // The cancel button is drawn plain and every other button bold; a lone button is bold.
        button.setBold(!(m_hasCancel && i == 0) || count == 1);
        if (sideBySide)
            button.setFrame({i * kWidth / 2, top, kWidth / 2, kButtonHeight});
        else
            button.setFrame({0, top + i * kButtonHeight, kWidth, kButtonHeight});
        button.addTarget([this, i] { dismissWithButtonIndex(i); }, ControlEvent::TouchUpInside);
        m_buttons.push_back(&button);
    }
    double height = top + (count == 0 ? 0 : sideBySide ? kButtonHeight : count * kButtonHeight);
    setBoundsSize({kWidth, height});
    m_built = true;
}

void AlertView::layoutForScreen(SizeF screen)
{
    if (!m_built)
        buildButtons();
    SizeF size = bounds().size();
    setFrame({std::floor((screen.width - size.width) / 2), std::floor((screen.height - size.height) / 2), size.width,
              size.height});
}

void AlertView::draw(Canvas& canvas)
{
    if (m_buttons.empty())
        return;
    // Hairlines above the buttons and between side-by-side buttons.
    RectF first = m_buttons.front()->frame();
    canvas.fillRect({0, first.y, bounds().width, 1}, kSeparator);
    if (m_buttons.size() == 2)
        canvas.fillRect({bounds().width / 2, first.y, 1, first.height}, kSeparator);
    else
        for (std::size_t i = 1; i < m_buttons.size(); ++i)
            canvas.fillRect({0, m_buttons[i]->frame().y, bounds().width, 1}, kSeparator);
}

} // namespace waterline
