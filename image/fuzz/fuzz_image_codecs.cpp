// Feeds arbitrary bytes to the PNG and JPEG decoders: any input must give a raster or a
// reason, never a crash, a leak or a huge allocation. A decoded raster is written back
// as PNG to exercise the colour conversion on whatever the decoder produced.
#include <waterline/image/JpegCodec.h>
#include <waterline/image/PngCodec.h>

#include <cstddef>
#include <cstdint>

using namespace waterline;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> bytes(data, size);
    if (image::looksLikePNG(bytes)) {
        (void)image::readPNGSize(bytes);
        auto raster = image::decodePNG(bytes);
        if (raster)
            (void)image::encodePNG(**raster);
    }
    if (image::looksLikeJPEG(bytes)) {
        (void)image::readJPEGHeader(bytes);
        auto decoded = image::decodeJPEG(bytes, {.coverSize = Size{64, 64}});
        if (decoded)
            (void)image::encodePNG(*decoded->raster);
    }
    return 0;
}
