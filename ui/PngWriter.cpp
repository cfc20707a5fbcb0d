// libpng's simplified write API does the file work; this file only converts the rows.
#include "PngWriter.h"

#include <waterline/ui/UIError.h>

#include <png.h>

#include <cstring>
#include <vector>

namespace waterline {

ErrorPtr writePng(const PixelBuffer& pixels, const std::string& path)
{
    auto fail = [&](const std::string& why) {
        return Error::create(kUIErrorDomain, static_cast<int>(UIErrorCode::ScreenshotFailed),
                             "could not write " + path + ": " + why);
    };
    if (pixels.size().isEmpty())
        return fail("the picture is empty");
    // Straight RGBA rows, whatever the buffer's byte order.
    bool alphaFirst = pixels.format() == PixelFormat::ARGB32Premultiplied;
    std::vector<png_byte> rgba(static_cast<std::size_t>(pixels.width()) * pixels.height() * 4);
    for (int y = 0; y < pixels.height(); ++y) {
        const std::uint8_t* src = pixels.row(y);
        png_byte* dst = rgba.data() + static_cast<std::size_t>(y) * pixels.width() * 4;
        for (int x = 0; x < pixels.width(); ++x, src += 4, dst += 4) {
            std::uint8_t a, r, g, b;
            if (alphaFirst)
                a = src[0], r = src[1], g = src[2], b = src[3];
            else
                b = src[0], g = src[1], r = src[2], a = src[3];
            auto straight = [a](std::uint8_t c) -> png_byte {
                return a == 0 ? 0 : static_cast<png_byte>(std::min(255, (c * 255 + a / 2) / a));
            };
            dst[0] = straight(r), dst[1] = straight(g), dst[2] = straight(b), dst[3] = a;
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(pixels.width());
    image.height = static_cast<png_uint_32>(pixels.height());
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) {
        std::string why = image.message[0] ? image.message : "unknown libpng error";
        png_image_free(&image);
        return fail(why);
    }
    return nullptr;
}

} // namespace waterline
