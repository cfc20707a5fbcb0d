// PNG through libpng's simplified API.
#include <waterline/image/PngCodec.h>

#include "DecodeRaster.h"

#include <waterline/foundation/FileIO.h>
#include <waterline/image/ExifOrientation.h>
#include <waterline/image/PictureFileError.h>
#include <waterline/image/PixelConversion.h>

#include <png.h>

#include <climits>
#include <cstring>
#include <string>

namespace waterline::image {

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

ErrorOr<Size> beginRead(Image& png, std::span<const std::uint8_t> bytes)
{
    if (!png_image_begin_read_from_memory(&png.image, bytes.data(), bytes.size()))
        return pictureFileError(PictureFileErrorCode::CorruptHeader, "corrupt PNG header: " + reason(png.image));
    // libpng refuses sides above 2³¹ - 1; the clamp only keeps the conversion defined.
    auto side = [](png_uint_32 value) { return static_cast<int>(std::min<png_uint_32>(value, INT_MAX)); };
    return Size{side(png.image.width), side(png.image.height)};
}

} // namespace

bool looksLikePNG(std::span<const std::uint8_t> bytes)
{
    static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= 8 && std::memcmp(bytes.data(), kSignature, 8) == 0;
}

ErrorOr<Size> readPNGSize(std::span<const std::uint8_t> bytes)
{
    Image png;
    auto size = WL_TRY(beginRead(png, bytes));
    if (size.isEmpty())
        return pictureFileError(PictureFileErrorCode::CorruptHeader, "corrupt PNG header: no pixels");
    return size;
}

ErrorOr<std::unique_ptr<PixelBuffer>> decodePNG(std::span<const std::uint8_t> bytes)
{
    Image png;
    auto size = WL_TRY(beginRead(png, bytes));
    auto raster = WL_TRY(createDecodeRaster("PNG", size, size));
    // 8-bit sRGB output keeps colour straight; we premultiply after.
    png.image.format = PNG_FORMAT_ARGB;
    if (!png_image_finish_read(&png.image, nullptr, raster->data(), static_cast<png_int_32>(raster->stride()), nullptr))
        return pictureFileError(PictureFileErrorCode::CorruptData, "corrupt PNG data: " + reason(png.image));
    for (int y = 0; y < size.height; ++y)
        premultiplyARGBRow(raster->row(y), size.width);
    return raster;
}

int readPNGExifOrientation(std::span<const std::uint8_t> bytes)
{
    if (!looksLikePNG(bytes))
        return 1;
    // Chunks: a 4-byte big-endian length, a 4-byte type, the data, a 4-byte CRC. Only
    // the lengths are read on the way, so a long file costs a walk over its chunk list.
    auto bigEndian = [&](std::size_t at) {
        return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 | std::uint32_t{bytes[at + 2]} << 8
            | bytes[at + 3];
    };
    for (std::size_t at = 8; bytes.size() - at >= 12;) {
        std::uint64_t length = bigEndian(at);
        if (length > bytes.size() - at - 12)
            return 1;
        auto type = bytes.subspan(at + 4, 4);
        if (std::memcmp(type.data(), "eXIf", 4) == 0)
            return readExifBlockOrientation(bytes.subspan(at + 8, static_cast<std::size_t>(length)));
        if (std::memcmp(type.data(), "IEND", 4) == 0)
            return 1;
        at += 12 + static_cast<std::size_t>(length);
    }
    return 1;
}

ErrorOr<std::vector<std::uint8_t>> encodePNG(const PixelBuffer& buffer)
{
    if (buffer.size().isEmpty())
        return pictureFileError(PictureFileErrorCode::NoPixels, "cannot encode a picture without pixels");
    auto rgba = straightRGBA(buffer);
    Image png;
    png.image.width = static_cast<png_uint_32>(buffer.width());
    png.image.height = static_cast<png_uint_32>(buffer.height());
    png.image.format = PNG_FORMAT_RGBA;
    auto fail = [&] {
        return pictureFileError(PictureFileErrorCode::EncodingFailed, "PNG encoding failed: " + reason(png.image));
    };
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png.image, nullptr, &size, 0, rgba.data(), 0, nullptr))
        return fail();
    std::vector<std::uint8_t> bytes(size);
    if (!png_image_write_to_memory(&png.image, bytes.data(), &size, 0, rgba.data(), 0, nullptr))
        return fail();
    bytes.resize(size);
    return bytes;
}

ErrorOr<void> writePNGFile(const PixelBuffer& buffer, const std::filesystem::path& path)
{
    auto bytes = WL_TRY(encodePNG(buffer));
    return writeFileAtomically(path, bytes);
}

} // namespace waterline::image
