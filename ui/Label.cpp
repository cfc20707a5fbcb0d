// Labels wrap and render their text lazily, at the first draw after a change.
#include "Label.h"

#include "Font.h"

#include <waterline/ui/Canvas.h>

#include <cmath>

namespace waterline {

Label::Label(std::string text, int pixelSize, bool bold, Color color)
    : m_text(std::move(text))
    , m_pixelSize(pixelSize)
    , m_bold(bold)
    , m_color(color)
{
    setUserInteractionEnabled(false);
}

void Label::setText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    m_rendered = false;
    setNeedsDisplay();
}

void Label::setColor(Color color)
{
    if (color == m_color)
        return;
    m_color = color;
    m_rendered = false;
    setNeedsDisplay();
}

double Label::heightForWidth(double width) const
{
    auto font = Font::get(m_pixelSize, m_bold);
    if (!font || m_text.empty())
        return 0;
    return static_cast<double>(font->wrap(m_text, static_cast<int>(width)).size() * font->lineHeight());
}

void Label::renderLines()
{
    m_lines.clear();
    m_rendered = true;
    auto font = Font::get(m_pixelSize, m_bold);
    if (!font)
        return;
    for (const std::string& line : font->wrap(m_text, static_cast<int>(bounds().width)))
        m_lines.push_back(font->render(line, m_color));
}

void Label::draw(Canvas& canvas)
{
    if (!m_rendered || (m_lines.empty() && !m_text.empty()))
        renderLines();
    auto font = Font::get(m_pixelSize, m_bold);
    if (!font)
        return;
    double lineHeight = font->lineHeight();
    RectF b = bounds();
    double y = b.y + std::floor((b.height - lineHeight * m_lines.size()) / 2);
    for (auto& line : m_lines) {
        if (line) {
            double x = b.x + std::floor((b.width - line->width()) / 2);
            canvas.drawImage(*line, {x, y, static_cast<double>(line->width()), static_cast<double>(line->height())});
        }
        y += lineHeight;
    }
}

} // namespace waterline
