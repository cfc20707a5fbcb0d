#include <waterline/ui/TextField.h>

#include "Font.h"

#include <waterline/ui/Canvas.h>
#include <waterline/ui/Window.h>

#include <algorithm>
#include <cmath>

namespace waterline {

namespace {

constexpr Color kBox = Color::white();
constexpr Color kBorder{190, 190, 196, 255};
constexpr Color kFocusBorder{0, 122, 255, 255};
constexpr Color kTextColor = Color::black();
constexpr Color kPlaceholderColor{170, 170, 176, 255};
constexpr double kInset = 6;
constexpr const char* kBullet = "\u2022";

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::size_t characterCount(const std::string& text)
{
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !isContinuationByte(c); }));
}

} // namespace

TextField::TextField() = default;

TextField::TextField(RectF frame)
{
    setFrame(frame);
}

void TextField::setText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    changed();
}

void TextField::setPlaceholder(std::string placeholder)
{
    m_placeholder = std::move(placeholder);
    m_rendered.reset();
    setNeedsDisplay();
}

void TextField::setSecureTextEntry(bool secure)
{
    m_secure = secure;
    m_rendered.reset();
    setNeedsDisplay();
}

bool TextField::becomeFirstResponder()
{
    Window* shownIn = window();
    if (!shownIn)
        return false;
    shownIn->setFocusedView(this);
    return true;
}

std::string TextField::displayedText() const
{
    if (!m_secure)
        return m_text;
    std::string bullets;
    for (std::size_t i = characterCount(m_text); i > 0; --i)
        bullets += kBullet;
    return bullets;
}

void TextField::touchEnded(PointF p)
{
    if (bounds().contains(p) && isEnabled())
        becomeFirstResponder();
}

bool TextField::keyPressed(const std::string& name)
{
    if (name != "Backspace")
        return false;
    if (!m_text.empty()) {
        // Drop the last UTF-8 character: its continuation bytes and its lead byte.
        while (!m_text.empty() && isContinuationByte(m_text.back()))
            m_text.pop_back();
        if (!m_text.empty())
            m_text.pop_back();
        changed();
    }
    return true;
}

bool TextField::textInput(const std::string& text)
{
    if (!isEnabled())
        return false;
    m_text += text;
    changed();
    return true;
}

void TextField::focusChanged(bool focused)
{
    m_focused = focused;
    setNeedsDisplay();
}

void TextField::changed()
{
    m_rendered.reset();
    setNeedsDisplay();
    if (textChanged)
        textChanged(*this);
}

void TextField::draw(Canvas& canvas)
{
    RectF b = bounds();
    canvas.fillRect(b, m_focused ? kFocusBorder : kBorder);
    canvas.fillRect({b.x + 1, b.y + 1, b.width - 2, b.height - 2}, kBox);
    auto font = Font::get(kTextPixelSize);
    if (!font)
        return;
    bool empty = m_text.empty();
    if (!m_rendered)
        m_rendered = font->render(empty ? m_placeholder : displayedText(), empty ? kPlaceholderColor : kTextColor);
    double textWidth = 0;
    canvas.save();
    canvas.clipToRect({b.x + kInset, b.y, b.width - 2 * kInset, b.height});
    if (m_rendered) {
        double w = m_rendered->width(), h = m_rendered->height();
        // A text wider than the box shows its end, where the typing happens.
        double x = b.x + kInset + std::min(0.0, b.width - 2 * kInset - 2 - w);
        canvas.drawImage(*m_rendered, {x, b.y + std::floor((b.height - h) / 2), w, h});
        textWidth = empty ? 0 : x - b.x - kInset + w;
    }
    if (m_focused)
        canvas.fillRect({b.x + kInset + textWidth + 1, b.y + 4, 2, b.height - 8}, kFocusBorder);
    canvas.restore();
}

} // namespace waterline
