// Encodes a small picture as JPEG and reads back the size from its header.
#include <waterline/image/JpegCodec.h>

#include <cstdio>

int main()
{
    auto raster = waterline::PixelBuffer::create(waterline::PixelFormat::ARGB32Premultiplied, {40, 30});
    auto jpeg = waterline::image::encodeJPEG(*raster, 0.8f);
    if (!jpeg)
        return 1;
    auto header = waterline::image::readJPEGHeader(*jpeg);
    if (!header)
        return 1;
    std::printf("%dx%d\n", header->size.width, header->size.height);
    return 0;
}
