// SDL2_ttf needs no video subsystem: it renders into plain SDL surfaces, which are
// converted here to premultiplied pixels and dropped, so nothing else sees SDL types.
#include "Font.h"

#include <waterline/ui/UIError.h>

#include <SDL_ttf.h>

#include <cstring>
#include <map>
#include <mutex>
#include <unistd.h>

namespace waterline {
namespace {

bool initialiseTTF()
{
    static const bool ok = TTF_Init() == 0;
    return ok;
}

} // namespace

ErrorOr<void> Font::checkAvailable()
{
    for (const char* path : {kRegularPath, kBoldPath})
        if (access(path, R_OK) != 0)
            return Error::create(kUIErrorDomain, static_cast<int>(UIErrorCode::FontMissing),
                                 std::string("font not found: ") + path + " (install the package fonts-dejavu-core)");
    return {};
}

std::shared_ptr<Font> Font::get(int pixelSize, bool bold)
{
    // Fonts are used on the main thread only; the cache lives as long as the process.
    static std::map<std::pair<int, bool>, std::shared_ptr<Font>> cache;
    auto key = std::make_pair(pixelSize, bold);
    if (auto it = cache.find(key); it != cache.end())
        return it->second;
    if (!initialiseTTF())
        return nullptr;
    TTF_Font* font = TTF_OpenFont(bold ? kBoldPath : kRegularPath, pixelSize);
    if (!font)
        return nullptr;
    std::shared_ptr<Font> made(new Font(font));
    cache[key] = made;
    return made;
}

Font::~Font()
{
    TTF_CloseFont(m_font);
}

int Font::lineHeight() const
{
    return TTF_FontLineSkip(m_font);
}

int Font::width(std::string_view text) const
{
    int w = 0, h = 0;
    std::string s(text);
    if (s.empty() || TTF_SizeUTF8(m_font, s.c_str(), &w, &h) != 0)
        return 0;
    return w;
}

std::shared_ptr<const PixelBuffer> Font::render(std::string_view text, Color color) const
{
    std::string s(text);
    if (s.empty())
        return nullptr;
    SDL_Surface* surface
        = TTF_RenderUTF8_Blended(m_font, s.c_str(), SDL_Color{color.red, color.green, color.blue, 255});
    if (!surface)
        return nullptr;
    std::shared_ptr<PixelBuffer> out;
    SDL_Surface* argb = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(surface);
    if (!argb)
        return nullptr;
    out = PixelBuffer::create(PixelFormat::BGRA32Premultiplied, {argb->w, argb->h});
    if (out) {
        SDL_LockSurface(argb);
        for (int y = 0; y < argb->h; ++y) {
            auto* src = reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(argb->pixels)
                                                               + y * argb->pitch);
            auto* dst = reinterpret_cast<std::uint32_t*>(out->row(y));
            for (int x = 0; x < argb->w; ++x) {
                std::uint32_t p = src[x];
                std::uint32_t a = (p >> 24) * color.alpha / 255;
                auto mul = [a](std::uint32_t c) { return (c * a + 127) / 255; };
                dst[x] = a << 24 | mul((p >> 16) & 0xff) << 16 | mul((p >> 8) & 0xff) << 8 | mul(p & 0xff);
            }
        }
        SDL_UnlockSurface(argb);
    }
    SDL_FreeSurface(argb);
    return out;
}

std::vector<std::string> Font::wrap(std::string_view text, int maxWidth) const
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        std::string_view paragraph
            = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        std::string line;
        std::size_t pos = 0;
        while (pos < paragraph.size()) {
            std::size_t space = paragraph.find(' ', pos);
            std::string_view word
                = paragraph.substr(pos, space == std::string_view::npos ? std::string_view::npos : space - pos);
            std::string candidate = line.empty() ? std::string(word) : line + " " + std::string(word);
            if (!line.empty() && width(candidate) > maxWidth) {
                lines.push_back(line);
                line = std::string(word);
            } else {
                line = candidate;
            }
            if (space == std::string_view::npos)
                break;
            pos = space + 1;
        }
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return lines;
}

} // namespace waterline
