// Text rendering with DejaVu Sans through SDL2_ttf. Rendered text comes back as a
// premultiplied picture that the canvas draws like any other; callers cache what they
// draw repeatedly. The font files are looked up at their Debian paths only.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>
#include <waterline/ui/Color.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

typedef struct _TTF_Font TTF_Font;

namespace waterline {

class Font {
public:
    static constexpr const char* kRegularPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    static constexpr const char* kBoldPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

    // None when both font files can be read, else an error naming the missing file.
    static ErrorOr<void> checkAvailable();

    // A shared font of this pixel size; empty when the file cannot be opened.
    static std::shared_ptr<Font> get(int pixelSize, bool bold = false);

    ~Font();
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    int lineHeight() const;
    int width(std::string_view text) const;
    // The text on one line, premultiplied; empty for empty text.
    std::shared_ptr<const PixelBuffer> render(std::string_view text, Color) const;
    // Breaks text into lines no wider than `maxWidth` at spaces (and at newlines); a
    // single word wider than that gets a line of its own.
    std::vector<std::string> wrap(std::string_view text, int maxWidth) const;

private:
    explicit Font(TTF_Font* font)
        : m_font(font)
    {
    }
    TTF_Font* m_font;
};

} // namespace waterline
