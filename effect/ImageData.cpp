#include <waterline/effect/ImageData.h>

#include <waterline/image/PixelConversion.h>

#include <cstdio>

namespace waterline {

namespace {

bool convertibleToDeviceRGB(PixelFormat format)
{
    return format == PixelFormat::ARGB32Premultiplied || format == PixelFormat::BGRA32Premultiplied;
}

} // namespace

std::unique_ptr<PixelBuffer> createimagedata(const PixelBuffer& raster)
{
    if (!convertibleToDeviceRGB(raster.format())) {
        std::fputs("Error allocating color space\n", stderr);
        return nullptr;
    }
    if (raster.width() <= 0 || raster.height() <= 0 || !raster.data()) {
        std::fputs("Context not created!", stderr);
        return nullptr;
    }
    auto buffer = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, raster.size());
    if (!buffer) {
        std::fputs("Memory not allocated!", stderr);
        return nullptr;
    }
    for (int y = 0; y < raster.height(); ++y)
        image::copyRowAsARGB(raster.row(y), raster.format(), buffer->row(y), raster.width());
    return buffer;
}

} // namespace waterline
