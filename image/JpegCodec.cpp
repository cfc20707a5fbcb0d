#include <waterline/image/JpegCodec.h>

#include "DecodeRaster.h"

#include <waterline/image/ExifOrientation.h>
#include <waterline/image/PictureFileError.h>

#include <turbojpeg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>

namespace waterline::image {

namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

std::string lastError(void* handle)
{
    return tjGetErrorStr2(handle);
}

// Cameras write small blemishes (stray bytes between segments) that the decoder only
// warns about; those pictures are whole. Missing data is not: a truncated file would
// show a grey bottom, so running out of data stays a failure.
bool isHarmlessWarning(void* handle)
{
    if (tjGetErrorCode(handle) != TJERR_WARNING)
        return false;
    std::string message = lastError(handle);
    std::transform(message.begin(), message.end(), message.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return message.find("premature end") == std::string::npos;
}

ErrorOr<Handle> startDecoder()
{
    Handle handle(tjInitDecompress());
    if (!handle)
        return pictureFileError(PictureFileErrorCode::CodecUnavailable, "cannot start the JPEG decoder");
    return handle;
}

ErrorOr<Size> readStoredSize(void* handle, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > std::numeric_limits<unsigned long>::max())
        return pictureFileError(PictureFileErrorCode::TooLarge, "JPEG file too large");
    Size size;
    int subsampling = 0;
    int colorspace = 0;
    if (tjDecompressHeader3(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), &size.width, &size.height,
                            &subsampling, &colorspace)
            != 0
        && !isHarmlessWarning(handle))
        return pictureFileError(PictureFileErrorCode::CorruptHeader, "corrupt JPEG header: " + lastError(handle));
    if (size.isEmpty())
        return pictureFileError(PictureFileErrorCode::CorruptHeader, "corrupt JPEG header: no pixels");
    return size;
}

// The smallest DCT scale whose upright size still covers `cover`; 1/1 when none does.
tjscalingfactor scaleCovering(Size stored, bool swapsSides, std::optional<Size> cover)
{
    tjscalingfactor best{1, 1};
    if (!cover)
        return best;
    int count = 0;
    tjscalingfactor* factors = tjGetScalingFactors(&count);
    long bestPixels = static_cast<long>(stored.width) * stored.height;
    for (int i = 0; factors && i < count; ++i) {
        int width = TJSCALED(stored.width, factors[i]);
        int height = TJSCALED(stored.height, factors[i]);
        if (swapsSides)
            std::swap(width, height);
        long pixels = static_cast<long>(width) * height;
        if (width >= cover->width && height >= cover->height && pixels < bestPixels) {
            best = factors[i];
            bestPixels = pixels;
        }
    }
    return best;
}

} // namespace

bool looksLikeJPEG(std::span<const std::uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

ErrorOr<JPEGHeader> readJPEGHeader(std::span<const std::uint8_t> bytes)
{
    auto handle = WL_TRY(startDecoder());
    auto size = WL_TRY(readStoredSize(handle.get(), bytes));
    return JPEGHeader{size, readExifOrientation(bytes)};
}

ErrorOr<DecodedJPEG> decodeJPEG(std::span<const std::uint8_t> bytes, JPEGDecodeOptions options)
{
    auto handle = WL_TRY(startDecoder());
    auto stored = WL_TRY(readStoredSize(handle.get(), bytes));
    int orientation = readExifOrientation(bytes);
    auto scale = scaleCovering(stored, exifOrientationSwapsSides(orientation), options.coverSize);
    Size size{TJSCALED(stored.width, scale), TJSCALED(stored.height, scale)};
    auto raster = WL_TRY(createDecodeRaster("JPEG", stored, size));
    // TJPF_ARGB writes bytes A, R, G, B with A = 255: already our premultiplied format.
    if (tjDecompress2(handle.get(), bytes.data(), static_cast<unsigned long>(bytes.size()), raster->data(), size.width,
                      static_cast<int>(raster->stride()), size.height, TJPF_ARGB, 0)
            != 0
        && !isHarmlessWarning(handle.get()))
        return pictureFileError(PictureFileErrorCode::CorruptData, "corrupt JPEG data: " + lastError(handle.get()));
    return DecodedJPEG{std::move(raster), orientation};
}

ErrorOr<std::vector<std::uint8_t>> encodeJPEG(const PixelBuffer& buffer, float quality)
{
    if (buffer.size().isEmpty())
        return pictureFileError(PictureFileErrorCode::NoPixels, "cannot encode a picture without pixels");
    if (!(quality >= 0 && quality <= 1))
        return pictureFileError(PictureFileErrorCode::InvalidQuality, "JPEG quality must be between 0 and 1");
    Handle handle(tjInitCompress());
    if (!handle)
        return pictureFileError(PictureFileErrorCode::CodecUnavailable, "cannot start the JPEG encoder");
    int pixelFormat = buffer.format() == PixelFormat::ARGB32Premultiplied ? TJPF_ARGB : TJPF_BGRA;
    int tjQuality = std::clamp(static_cast<int>(std::lround(quality * 100)), 1, 100);
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    if (tjCompress2(handle.get(), buffer.data(), buffer.width(), static_cast<int>(buffer.stride()), buffer.height(),
                    pixelFormat, &jpeg, &jpegSize, TJSAMP_420, tjQuality, 0)
        != 0) {
        tjFree(jpeg);
        return pictureFileError(PictureFileErrorCode::EncodingFailed,
                                "JPEG encoding failed: " + lastError(handle.get()));
    }
    std::vector<std::uint8_t> bytes(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    return bytes;
}

} // namespace waterline::image
