#include "PngCodec.h"

#include "PixelConversion.h"

#include <png.h>

#include <cstring>
#include <string>

namespace waterline::png {

namespace {

// png_image owns libpng state until finished or freed; this frees it on every path.
struct Image {
    png_image image;
    Image()
    {
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
    }
    ~Image() { png_image_free(&image); }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
};

std::string reason(const png_image& image)
{
    return image.message[0] ? image.message : "unknown error";
}

} // namespace

bool looksLikePNG(std::span<const std::uint8_t> bytes)
{
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

PictureFileResult<PictureFileInfo> probe(std::span<const std::uint8_t> bytes)
{
    Image png;
    if (!png_image_begin_read_from_memory(&png.image, bytes.data(), bytes.size()))
        return PictureFileResult<PictureFileInfo>::failure("corrupt PNG header: " + reason(png.image));
    PictureFileInfo info;
    info.type = PictureFileType::PNG;
    info.storedSize = {static_cast<int>(png.image.width), static_cast<int>(png.image.height)};
    return {info, {}};
}

PictureFileResult<std::shared_ptr<Picture>> decode(std::span<const std::uint8_t> bytes)
{
    using Result = PictureFileResult<std::shared_ptr<Picture>>;
    Image png;
    if (!png_image_begin_read_from_memory(&png.image, bytes.data(), bytes.size()))
        return Result::failure("corrupt PNG header: " + reason(png.image));
    auto width = static_cast<std::uint64_t>(png.image.width);
    auto height = static_cast<std::uint64_t>(png.image.height);
    if (width == 0 || height == 0 || width * height > PictureFile::kMaxPixels)
        return Result::failure("picture too large: " + std::to_string(width) + " × " + std::to_string(height)
                               + " pixels");
    Size size{static_cast<int>(width), static_cast<int>(height)};
    auto raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    if (!raster)
        return Result::failure("out of memory for a " + std::to_string(width) + " × " + std::to_string(height)
                               + " picture");
    // 8-bit sRGB output keeps colour straight (not premultiplied); we premultiply after.
    png.image.format = PNG_FORMAT_ARGB;
    if (!png_image_finish_read(&png.image, nullptr, raster->data(), static_cast<png_int_32>(raster->stride()), nullptr))
        return Result::failure("corrupt PNG data: " + reason(png.image));
    for (int y = 0; y < size.height; ++y)
        pixels::premultiplyARGBRow(raster->row(y), size.width);
    return {Picture::create(std::move(raster)), {}};
}

PictureFileResult<std::vector<std::uint8_t>> encode(const PixelBuffer& buffer)
{
    using Result = PictureFileResult<std::vector<std::uint8_t>>;
    if (buffer.size().isEmpty())
        return Result::failure("cannot encode a picture without pixels");
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(buffer.width()) * buffer.height() * 4);
    for (int y = 0; y < buffer.height(); ++y)
        pixels::unpremultiplyToRGBARow(buffer.row(y), buffer.format(),
                                       rgba.data() + static_cast<std::size_t>(y) * buffer.width() * 4, buffer.width());
    Image png;
    png.image.width = static_cast<png_uint_32>(buffer.width());
    png.image.height = static_cast<png_uint_32>(buffer.height());
    png.image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png.image, nullptr, &size, 0, rgba.data(), 0, nullptr))
        return Result::failure("PNG encoding failed: " + reason(png.image));
    std::vector<std::uint8_t> bytes(size);
    if (!png_image_write_to_memory(&png.image, bytes.data(), &size, 0, rgba.data(), 0, nullptr))
        return Result::failure("PNG encoding failed: " + reason(png.image));
    bytes.resize(size);
    return {std::move(bytes), {}};
}

} // namespace waterline::png
