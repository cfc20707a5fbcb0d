#include <waterline/effect/FixOrientation.h>

#include "AreaResampler.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

namespace waterline {

namespace {

// Where upright pixel (x, y) comes from, as an affine walk over the stored raster:
// stored column = column0 + x·columnPerX + y·columnPerY, stored row likewise.
struct StoredWalk {
    int column0, columnPerX, columnPerY;
    int row0, rowPerX, rowPerY;
};

StoredWalk walkFor(PictureOrientation orientation, int storedWidth, int storedHeight)
{
    int lastColumn = storedWidth - 1;
    int lastRow = storedHeight - 1;
    switch (orientation) {
    case PictureOrientation::Up:
        return {0, 1, 0, 0, 0, 1};
    case PictureOrientation::Down:
        return {lastColumn, -1, 0, lastRow, 0, -1};
    case PictureOrientation::Left:
        return {lastColumn, 0, -1, 0, 1, 0};
    case PictureOrientation::Right:
        return {0, 0, 1, lastRow, -1, 0};
    case PictureOrientation::UpMirrored:
        return {lastColumn, -1, 0, 0, 0, 1};
    case PictureOrientation::DownMirrored:
        return {0, 1, 0, lastRow, 0, -1};
    case PictureOrientation::LeftMirrored:
        return {0, 0, 1, 0, 1, 0};
    case PictureOrientation::RightMirrored:
        return {lastColumn, 0, -1, lastRow, -1, 0};
    }
    return {0, 1, 0, 0, 0, 1};
}

inline std::uint32_t loadWord(const std::uint8_t* p)
{
    std::uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

// Copies the upright picture tile by tile: for the turned tags each upright row walks
// down a stored column, and small square tiles keep both sides of the copy in cache.
template <bool SwapBytes> void copyUpright(const PixelBuffer& raster, const StoredWalk& walk, PixelBuffer& upright)
{
    constexpr int kTile = 32;
    auto stride = static_cast<std::ptrdiff_t>(raster.stride());
    std::ptrdiff_t stepX = walk.columnPerX * 4 + walk.rowPerX * stride;
    std::ptrdiff_t stepY = walk.columnPerY * 4 + walk.rowPerY * stride;
    const std::uint8_t* origin = raster.data() + walk.column0 * 4 + walk.row0 * stride;
    int width = upright.width();
    int height = upright.height();
    for (int tileY = 0; tileY < height; tileY += kTile) {
        int endY = std::min(tileY + kTile, height);
        for (int tileX = 0; tileX < width; tileX += kTile) {
            int endX = std::min(tileX + kTile, width);
            for (int y = tileY; y < endY; ++y) {
                const std::uint8_t* source = origin + tileX * stepX + y * stepY;
                auto* target = reinterpret_cast<std::uint32_t*>(upright.row(y)) + tileX;
                for (int x = tileX; x < endX; ++x, source += stepX) {
                    std::uint32_t word = loadWord(source);
                    *target++ = SwapBytes ? __builtin_bswap32(word) : word;
                }
            }
        }
    }
}

// The ARGB memory order (A, R, G, B bytes) is pixman's b8g8r8a8 on a little-endian machine.
constexpr pixman_format_code_t kPixmanARGBBytes
    = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? PIXMAN_b8g8r8a8 : PIXMAN_a8r8g8b8;

pixman_image_t* pixmanImageOver(const PixelBuffer& buffer)
{
    return pixman_image_create_bits(kPixmanARGBBytes, buffer.width(), buffer.height(),
                                    reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(buffer.data())),
                                    static_cast<int>(buffer.stride()));
}

// Resamples `source` into a new buffer of `size`: area averaging where it shrinks (so a
// photo reduced eight times does not alias), bilinear where it grows, edges padded.
std::unique_ptr<PixelBuffer> stretch(const PixelBuffer& source, Size size)
{
    if (size.width <= source.width() && size.height <= source.height())
        return shrinkByArea(source, size);
    auto target = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    if (!target)
        return nullptr;
    pixman_image_t* from = pixmanImageOver(source);
    pixman_image_t* to = pixmanImageOver(*target);
    if (!from || !to) {
        if (from)
            pixman_image_unref(from);
        if (to)
            pixman_image_unref(to);
        return nullptr;
    }
    pixman_transform_t transform;
    pixman_transform_init_scale(&transform, pixman_double_to_fixed(static_cast<double>(source.width()) / size.width),
                                pixman_double_to_fixed(static_cast<double>(source.height()) / size.height));
    pixman_image_set_transform(from, &transform);
    pixman_image_set_repeat(from, PIXMAN_REPEAT_PAD);
    pixman_image_set_filter(from, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    pixman_image_composite32(PIXMAN_OP_SRC, from, nullptr, to, 0, 0, 0, 0, 0, 0, size.width, size.height);
    pixman_image_unref(from);
    pixman_image_unref(to);
    return target;
}

// The target size in whole pixels, or none for a side below one pixel (or not a number).
std::optional<Size> wholeTargetSize(SizeF target)
{
    constexpr double kLargest = 1 << 20;
    if (!(target.width >= 1 && target.height >= 1) || target.width > kLargest || target.height > kLargest)
        return std::nullopt;
    return Size{static_cast<int>(target.width), static_cast<int>(target.height)};
}

} // namespace

std::unique_ptr<PixelBuffer> orientUpright(const PixelBuffer& raster, PictureOrientation orientation)
{
    Size stored = raster.size();
    Size size = swapsSides(orientation) ? Size{stored.height, stored.width} : stored;
    auto upright = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    if (!upright || size.isEmpty())
        return upright;
    auto walk = walkFor(orientation, stored.width, stored.height);
    if (raster.format() == PixelFormat::BGRA32Premultiplied)
        copyUpright<true>(raster, walk, *upright);
    else
        copyUpright<false>(raster, walk, *upright);
    return upright;
}

std::shared_ptr<Picture> fixOrientation(const Picture& picture, SizeF target)
{
    auto size = wholeTargetSize(target);
    std::unique_ptr<PixelBuffer> result;
    if (size && !picture.raster().size().isEmpty()) {
        result = orientUpright(picture.raster(), picture.orientation());
        if (result && result->size() != *size)
            result = stretch(*result, *size);
    }
    if (!result) {
        std::fputs("could not scale image\n", stderr);
        return nullptr;
    }
    return Picture::create(std::move(result));
}

} // namespace waterline
