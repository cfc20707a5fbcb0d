// A view showing text centred in its bounds, wrapped onto as many lines as its width
// needs. The rendered lines are kept until the text, font or width changes, so a label
// that is redrawn every frame (under a moving picture) costs one blit per line.
#pragma once

#include <waterline/foundation/PixelBuffer.h>
#include <waterline/ui/View.h>

#include <memory>
#include <string>
#include <vector>

namespace waterline {

class Label : public View {
public:
    Label(std::string text, int pixelSize, bool bold = false, Color = Color::black());

    const std::string& text() const { return m_text; }
    void setText(std::string);
    void setColor(Color);
    // The height the text needs at the current width.
    double heightForWidth(double width) const;

    void draw(Canvas&) override;

protected:
    void layoutChanged() override { m_lines.clear(); }

private:
    void renderLines();

    std::string m_text;
    int m_pixelSize;
    bool m_bold;
    Color m_color;
    std::vector<std::shared_ptr<const PixelBuffer>> m_lines;
    bool m_rendered = false;
};

} // namespace waterline
