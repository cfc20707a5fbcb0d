#include "DecodeRaster.h"

#include <waterline/image/PictureFileError.h>
#include <waterline/image/PictureLimits.h>

#include <string>

namespace waterline::image {

namespace {

std::string dimensions(Size size)
{
    return std::to_string(size.width) + " × " + std::to_string(size.height);
}

ErrorOr<void> checkSizes(const char* format, Size claimed, Size decoded)
{
    // A side of zero is a broken header, not a large picture.
    if (claimed.width <= 0 || claimed.height <= 0 || decoded.width <= 0 || decoded.height <= 0)
        return pictureFileError(PictureFileErrorCode::CorruptHeader,
                                std::string("corrupt ") + format + " header: no pixels (" + dimensions(claimed) + ")");
    auto pixels = static_cast<std::uint64_t>(decoded.width) * static_cast<std::uint64_t>(decoded.height);
    if (pixels > kMaxDecodedPixels)
        return pictureFileError(PictureFileErrorCode::TooLarge,
                                "picture too large: " + dimensions(claimed) + " pixels");
    return {};
}

} // namespace

ErrorOr<void> checkClaimedSize(const char* format, Size claimed)
{
    return checkSizes(format, claimed, claimed);
}

ErrorOr<std::unique_ptr<PixelBuffer>> createDecodeRaster(const char* format, Size claimed, Size decoded)
{
    WL_TRY(checkSizes(format, claimed, decoded));
    auto raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, decoded);
    if (!raster)
        return pictureFileError(PictureFileErrorCode::OutOfMemory,
                                "out of memory for a " + dimensions(decoded) + " picture");
    return raster;
}

} // namespace waterline::image
